# A runner whose probe fails, whatever way, leaves the tests that need it
# skipped, never run (and failed); one whose probe works runs them.
#
#   cmake -DSOURCE=tests/runner_probe -DWORK=... -DCMAKE_DIR=cmake -P this
foreach(probe IN ITEMS "sh|-c|exit 0" "sh|-c|exit 1" "sh|-c|kill -9 $$" "${WORK}/no-such-runner")
  string(REPLACE "|" ";" command "${probe}")
  file(REMOVE_RECURSE ${WORK})
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK} -DVINTREL_CMAKE_DIR=${CMAKE_DIR} "-DPROBE=${command}"
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "configuring with the probe '${probe}' failed:\n${err}")
  endif()
  execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${WORK} OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
  if(probe STREQUAL "sh|-c|exit 0")
    set(expected "Passed")
  else()
    set(expected "Skipped")
  endif()
  if(NOT rc EQUAL 0 OR NOT out MATCHES "needs_the_runner [. ]*[*]*${expected}")
    message(FATAL_ERROR "with the probe '${probe}' the test needing the runner was not ${expected}:\n${out}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
