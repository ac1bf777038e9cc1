# GoogleTest: the system's build where it is installed (native builds only);
# otherwise the system's packaged sources at /usr/src/googletest, built with
# the target's compiler. A fresh machine has the sources but not the build,
# and cross builds need the target's compiler anyway.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest QUIET)
endif()
if(NOT GTest_FOUND)
  set(VINTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, used where no GoogleTest is installed")
  # Without it the library and the program still build: the tests are left
  # out, and the one test left in their place says what to install.
  if(NOT EXISTS ${VINTREL_GTEST_SOURCE}/CMakeLists.txt)
    set(VINTREL_GTEST_MISSING "the tests need GoogleTest: installed (Debian: libgtest-dev) or its sources (Debian: googletest) at ${VINTREL_GTEST_SOURCE}")
    message(STATUS "Tests skipped: ${VINTREL_GTEST_MISSING}")
    return()
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${VINTREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest)  # newer GoogleTest sources make these themselves
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
