# Windows builds on Linux run their tests under Wine, through a wrapper that
# keeps Wine quiet, gives the build its own fresh prefix and shares one
# persistent wineserver among all the runs of a test session. The CTest
# fixture `wine` starts the server; its cleanup stops it, so nothing is left
# running after the tests.
#
# 32-bit programs run under the 32-bit loader in a 32-bit prefix, as on a
# 32-bit Windows: Debian's `wine` script would fall back to the 64-bit one.
# Where the loader is missing or cannot be executed, the tests that need it
# are reported as skipped (VintrelRunner).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  find_program(VINTREL_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VINTREL_WINESERVER NAMES wineserver32 wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
  set(VINTREL_WINE_ARCH win32)
  set(_wine_name "32-bit Wine")
  set(_wine_needs "a machine that executes 32-bit x86 programs, and the Debian packages wine and wine32:i386 (after dpkg --add-architecture i386)")
else()
  find_program(VINTREL_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
  find_program(VINTREL_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine)
  set(VINTREL_WINE_ARCH win64)
  set(_wine_name "64-bit Wine")
  set(_wine_needs "the Debian packages wine and wine64")
endif()
if(NOT VINTREL_WINE OR NOT VINTREL_WINESERVER)
  vintrel_runner_unusable("${_wine_name} not found (needs ${_wine_needs})")
  return()
endif()
# The loader itself, before any prefix or server: where the machine cannot
# execute it, this is where it shows.
vintrel_probe_runner("${_wine_name}" "${_wine_needs}" ${VINTREL_WINE} --version)
if(VINTREL_RUNNER_SKIP)
  return()
endif()

set(VINTREL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# A safety net only: a server left behind by an interrupted run goes away
# this many seconds after the last Windows program ends.
set(VINTREL_WINE_LINGER 120)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VINTREL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VINTREL_WINE_RUN})

# Discover the tests when CTest starts, not while building: the build needs no
# Wine, and every test waits for the fixture.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
set(vintrel_gtest_wine PROPERTIES FIXTURES_REQUIRED wine)
