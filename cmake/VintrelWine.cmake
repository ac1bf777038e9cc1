# Windows builds on Linux run their tests under Wine, through a wrapper that
# keeps Wine quiet, gives the build its own fresh prefix and shares one
# persistent wineserver among all the runs of a test session. The CTest
# fixture `wine` starts the server; its cleanup stops it, so nothing is left
# running after the tests.
find_program(VINTREL_WINE NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine)
find_program(VINTREL_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine)
if(NOT VINTREL_WINE OR NOT VINTREL_WINESERVER)
  if(VINTREL_BUILD_TESTS)
    message(FATAL_ERROR "the Windows tests run under Wine (Debian: wine wine64); "
      "or configure with -DVINTREL_BUILD_TESTS=OFF")
  endif()
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
