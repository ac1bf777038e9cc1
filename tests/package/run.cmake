# Installs the build into a scratch prefix, then builds and runs the consumer
# project against it.
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/consumer -G Ninja
  -DCMAKE_PREFIX_PATH=${WORK}/prefix -DCMAKE_C_COMPILER=${C_COMPILER} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/consumer OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND ${WORK}/consumer/consumer COMMAND_ERROR_IS_FATAL ANY)
file(READ ${WORK}/prefix/${LIBDIR}/pkgconfig/VintrelBMPRotate2.pc pc)
if(NOT pc MATCHES "Version: 1\\.0\\.0\\.1" OR NOT pc MATCHES "-lVintrelBMPRotate2")
  message(FATAL_ERROR "unexpected pkg-config file:\n${pc}")
endif()

# Moved elsewhere, the tree's .pc file still names its own folders.
file(RENAME ${WORK}/prefix ${WORK}/moved)
set(pc_file ${WORK}/moved/${LIBDIR}/pkgconfig/VintrelBMPRotate2.pc)
file(STRINGS ${pc_file} lines REGEX "^[a-z]+=")
set(pcfiledir ${WORK}/moved/${LIBDIR}/pkgconfig)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "=.*" "" name "${line}")
  string(REGEX REPLACE "^[^=]*=" "" value "${line}")
  string(CONFIGURE "${value}" ${name})
endforeach()
if(NOT EXISTS ${includedir}/VintrelBMPRotate2.h OR NOT EXISTS ${libdir}/libVintrelBMPRotate2.so)
  message(FATAL_ERROR "moved, ${pc_file} names includedir=${includedir} libdir=${libdir}")
endif()
