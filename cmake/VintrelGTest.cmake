# GoogleTest: the system's build for native builds; for cross builds (ARM,
# Windows) the system's packaged sources, built with the target's compiler.
if(CMAKE_CROSSCOMPILING)
  set(VINTREL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
  if(NOT EXISTS ${VINTREL_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "cross builds need GoogleTest sources (Debian package googletest) at ${VINTREL_GTEST_SOURCE}")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${VINTREL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest)  # GoogleTest 1.11 and later name them itself
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
