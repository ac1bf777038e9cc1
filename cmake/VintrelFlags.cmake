# Results are defined to the bit: every product and sum rounded on its own.
# No contraction into fused multiply-add anywhere, never -ffast-math, and SSE2
# rather than x87 where the target is 32-bit x86.
add_compile_options(-ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$" OR
   (CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86|AMD64"))
  add_compile_options(-msse2 -mfpmath=sse)
endif()
# MIPS's four-operand MADD.D family rounds once on some cores and twice on
# others, and GCC takes it for the unfused form, so contraction being off
# does not keep it out: only -mno-madd4 does (some compilers default to it).
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^mips")
  add_compile_options(-mno-madd4)
endif()

# 32-bit Linux: the C library's 64-bit file calls, else a picture of 2 GiB
# or more cannot be opened and a large output fails lstat (EOVERFLOW) and is
# written in place, unprotected. 64-bit times too where the C library has
# them (glibc 2.34 on), so that no file time past 2038 fails a stat.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_compile_definitions(_FILE_OFFSET_BITS=64)
  include(CheckCXXSourceCompiles)
  set(CMAKE_REQUIRED_DEFINITIONS -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64)
  check_cxx_source_compiles("#include <ctime>\nstatic_assert(sizeof(time_t) == 8, \"\");\nint main() {}"
    VINTREL_HAS_TIME64)
  unset(CMAKE_REQUIRED_DEFINITIONS)
  if(VINTREL_HAS_TIME64)
    add_compile_definitions(_TIME_BITS=64)
  endif()
endif()

# VINTREL_SANITIZE=thread: ThreadSanitizer instead (it excludes the others).
if(VINTREL_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(VINTREL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Only when asked: a distribution's or a parent project's build, where the
# next compiler brings a new warning, must not stop on it.
option(VINTREL_WARNINGS_AS_ERRORS "Treat the project's warnings as errors" OFF)

include(VintrelHardening)

# Warnings are the project's own business: PRIVATE on its targets only.
function(vintrel_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
    $<$<BOOL:${VINTREL_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()

# What every library target shares: no exceptions or RTTI, position-
# independent code, nothing visible but what is marked so, the warnings.
function(vintrel_library target)
  target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
  set_target_properties(${target} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  vintrel_warnings(${target})
endfunction()
