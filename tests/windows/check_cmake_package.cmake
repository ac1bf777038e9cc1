# Installs the Windows build into a scratch prefix; find_package's imported
# target must name the import library each linker takes: MinGW's .dll.a, and
# VintrelBMPRotate2.lib for Microsoft's (MSVC, and clang-cl, which simulates it).
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(WRITE ${WORK}/probe/CMakeLists.txt [[
cmake_minimum_required(VERSION 3.25)
project(probe LANGUAGES NONE)
set(${AS} ${AS_VALUE})
find_package(VintrelBMPRotate2 1.0 REQUIRED)
get_target_property(library VintrelBMPRotate2::VintrelBMPRotate2 IMPORTED_IMPLIB_RELEASE)
file(WRITE ${CMAKE_BINARY_DIR}/library.txt "${library}")
]])
foreach(as "MINGW;1;libVintrelBMPRotate2.dll.a" "MSVC;1;VintrelBMPRotate2.lib" "CMAKE_CXX_SIMULATE_ID;MSVC;VintrelBMPRotate2.lib")
  list(GET as 0 variable)
  list(GET as 1 value)
  list(GET as 2 expected)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/probe -B ${WORK}/probe-${variable} -DAS=${variable}
    -DAS_VALUE=${value} -DCMAKE_PREFIX_PATH=${WORK}/prefix OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(READ ${WORK}/probe-${variable}/library.txt library)
  if(NOT library STREQUAL "${WORK}/prefix/lib/${expected}" OR NOT EXISTS "${library}")
    message(FATAL_ERROR "with ${variable}=${value}, the imported target names '${library}', not lib/${expected}")
  endif()
endforeach()
