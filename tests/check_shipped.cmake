# What ships holds nothing of the tests' or the benchmarks': no symbol that
# a test-only object defines but its inert twin does not (read from the
# objects, so that a new one is looked for without a list to keep), and no
# name that PATTERNS lists (the tests' entries and the benchmarks' plain
# loop, wherever they might be put), is in the shared library's full symbol
# table. And on ELF targets no object that
# ships has a constructor or destructor of default priority, whose place
# around the loader's steps the order of the link would decide
# (module/linux/LoaderHooks.cpp).
#
#   cmake -DNM=... -DLIBRARY=... -DTEST_OBJECTS="a.o|b.o" -DTWIN_OBJECTS="c.o|d.o"
#         -DPATTERNS="regex|regex"
#         [-DREADELF=... -DSHIPPED_OBJECTS="e.o|f.o"] -P this
function(defined_symbols file out)
  execute_process(COMMAND ${NM} --defined-only ${file} OUTPUT_VARIABLE listing RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${file}: ${err}")
  endif()
  # "address type name" per line; mangled names hold no blank or semicolon.
  string(REGEX MATCHALL "[^\n]+" lines "${listing}")
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]* *[A-Za-z] ([^ ]+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

string(REPLACE "|" ";" TEST_OBJECTS "${TEST_OBJECTS}")
string(REPLACE "|" ";" TWIN_OBJECTS "${TWIN_OBJECTS}")
string(REPLACE "|" ";" PATTERNS "${PATTERNS}")
string(REPLACE "|" ";" SHIPPED_OBJECTS "${SHIPPED_OBJECTS}")

set(forbidden "")
foreach(object IN LISTS TEST_OBJECTS)
  defined_symbols(${object} names)
  # Section and file symbols name no code of the tests', nor do the
  # constructors that sanitizers put in every object, nor the compiler's own
  # helpers and data that any object may carry (32-bit x86's
  # __x86.get_pc_thunk.*, clang's sanitizers' __unnamed_N).
  list(FILTER names EXCLUDE REGEX "^\\.|\\.cpp$|^_*sub_[DI]_|^_*GLOBAL__sub_|^__x86\\.get_pc_thunk\\.|^__unnamed_[0-9]+$")
  if(NOT names)
    message(FATAL_ERROR "${object} defines nothing that nm lists: the check cannot work")
  endif()
  list(APPEND forbidden ${names})
endforeach()
# What the library calls, which both sides define.
foreach(object IN LISTS TWIN_OBJECTS)
  defined_symbols(${object} names)
  list(REMOVE_ITEM forbidden ${names})
endforeach()
if(NOT forbidden)
  message(FATAL_ERROR "the test-only objects define nothing their twins do not: the check cannot work")
endif()

defined_symbols(${LIBRARY} shipped)
list(LENGTH shipped count)
if(count LESS 20)
  message(FATAL_ERROR "${LIBRARY} lists ${count} symbols: stripped? its full symbol table is what is checked")
endif()
set(found "")
foreach(name IN LISTS forbidden)
  list(FIND shipped "${name}" at)
  if(NOT at EQUAL -1)
    list(APPEND found "${name}")
  endif()
endforeach()
foreach(pattern IN LISTS PATTERNS)
  foreach(name IN LISTS shipped)
    if(name MATCHES "${pattern}")
      list(APPEND found "${name}")
    endif()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " found)
  message(FATAL_ERROR "test-only or bench-only symbols in ${LIBRARY}:\n  ${found}")
endif()

if(READELF)
  foreach(object IN LISTS SHIPPED_OBJECTS)
    execute_process(COMMAND ${READELF} -S -W ${object} OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${READELF} failed on ${object}")
    endif()
    if(sections MATCHES "\\] \\.(init_array|fini_array|ctors|dtors) ")
      message(FATAL_ERROR "${object} has a constructor or destructor of default priority (.${CMAKE_MATCH_1}); "
        "give it a priority between the loader's steps (module/linux/LoaderHooks.cpp)")
    endif()
  endforeach()
endif()
list(LENGTH forbidden checked)
message(STATUS "none of ${checked} test-only and bench-only symbols is in ${LIBRARY}")
