# Whether this machine can start the programs this build makes: natively, or
# through the runner the toolchain names (Wine, QEMU). Machines differ: one
# cannot execute 32-bit x86 programs at all, another lacks a package. Where
# the runner cannot start, every test that needs it is registered as skipped,
# one line saying why, and the tests that need no runner still run. A test
# that starts and then fails is a failure as always.
#
#   vintrel_probe_runner(DESCRIPTION HINT COMMAND...): runs COMMAND once;
#     if it cannot be executed or fails, sets VINTREL_RUNNER_SKIP.
#   vintrel_runner_unusable(REASON): the same, for a runner not found.
#   vintrel_skipped_test(NAME REASON): a test reported as skipped, for REASON.
#   vintrel_discover_tests(TARGET ...): gtest_discover_tests, or one skipped
#     test named TARGET.
#   vintrel_add_runner_test(NAME COMMAND...): add_test, or the same name skipped.

function(vintrel_runner_unusable reason)
  set(VINTREL_RUNNER_SKIP "${reason}" CACHE INTERNAL "why this build's programs cannot be run here")
  message(WARNING "${reason}: the tests that need it are reported as skipped")
endfunction()

function(vintrel_probe_runner description hint)
  # Through the shell's exec, which reports a file the system cannot execute
  # ("Exec format error") rather than running it as a script.
  execute_process(COMMAND sh -c "exec \"$@\"" probe ${ARGN}
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 60)
  if(rc EQUAL 0)
    set(VINTREL_RUNNER_SKIP "" CACHE INTERNAL "")
    return()
  endif()
  string(REGEX REPLACE "\n.*" "" err "${err}")
  if(rc MATCHES "^[0-9]+$")
    set(rc "status ${rc}")
    if(err)
      string(APPEND rc ": ${err}")
    endif()
  endif()
  list(JOIN ARGN " " command)
  vintrel_runner_unusable("${description} cannot start here (${command}: ${rc}; needs ${hint})")
endfunction()

set(VINTREL_RUNNER_SKIP "" CACHE INTERNAL "")

# The reason is printed by the test itself, so ctest's log and the summary of
# .ci/run show it beside the test's name.
function(vintrel_skipped_test name reason)
  string(REPLACE "'" "" reason "${reason}")
  add_test(NAME ${name} COMMAND sh -c "echo 'skipped: ${reason}'; exit 77")
  set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
endfunction()

function(vintrel_discover_tests target)
  if(VINTREL_RUNNER_SKIP)
    vintrel_skipped_test(${target} "${VINTREL_RUNNER_SKIP}")
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 ${vintrel_gtest_wine} ${ARGN})
  endif()
endfunction()

function(vintrel_add_runner_test name)
  if(VINTREL_RUNNER_SKIP)
    vintrel_skipped_test(${name} "${VINTREL_RUNNER_SKIP}")
  else()
    add_test(NAME ${name} COMMAND ${ARGN})
  endif()
endfunction()

# Windows builds run under Wine; cross builds for Linux run a small program of
# the target under QEMU, which also needs the cross sysroot's loader.
if(NOT VINTREL_BUILD_TESTS OR NOT CMAKE_CROSSCOMPILING)
  return()
endif()
if(WIN32)
  include(VintrelWine)
elseif(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  vintrel_runner_unusable("${VINTREL_QEMU} not found (needs the Debian package qemu-user)")
else()
  set(_probe ${CMAKE_BINARY_DIR}/CMakeFiles/runner-probe)
  file(WRITE ${_probe}.c "int main(void) { return 0; }\n")
  try_compile(_compiled ${_probe}.d SOURCES ${_probe}.c COPY_FILE ${_probe})
  if(NOT _compiled)
    message(FATAL_ERROR "cannot compile a program for ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  vintrel_probe_runner("${VINTREL_QEMU}" "a QEMU that runs ${CMAKE_SYSTEM_PROCESSOR} programs here (Debian: qemu-user)"
    ${CMAKE_CROSSCOMPILING_EMULATOR} ${_probe})
endif()
