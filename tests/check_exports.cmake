# The shared library exports BMPRotate2 and nothing else, under its soname
# and its own symbol version (check_shipped.cmake looks for the tests' hooks).
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(STRIP "${symbols}" symbols)
# The version node itself is listed as an absolute symbol (versioned by some
# linkers).
string(REGEX REPLACE "[0-9a-f]+ A VINTRELBMPROTATE2_1(@@VINTRELBMPROTATE2_1)?\n?" "" exports "${symbols}")
string(STRIP "${exports}" exports)
if(NOT exports MATCHES "^[0-9a-f]+ T BMPRotate2@@VINTRELBMPROTATE2_1$")
  message(FATAL_ERROR "expected one exported function BMPRotate2@@VINTRELBMPROTATE2_1, got:\n${symbols}")
endif()
execute_process(COMMAND ${READELF} -d ${LIBRARY} OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "Library soname: \\[libVintrelBMPRotate2\\.so\\.1\\]")
  message(FATAL_ERROR "soname is not libVintrelBMPRotate2.so.1:\n${dynamic}")
endif()
message(STATUS "exports: ${symbols}")
