# The library parses files from anywhere: every build that ships is hardened
# as Debian's hardening=+all would build it. The environment's CFLAGS,
# CXXFLAGS and LDFLAGS (dpkg-buildflags) come first on every command line and
# are left as they are; these add what they lack.
include(CheckCSourceCompiles)
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(_c_cxx $<COMPILE_LANGUAGE:C,CXX>)
set(_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
add_compile_options($<${_c_cxx}:-Wformat> $<${_c_cxx}:-Werror=format-security>)

# The sanitizers guard the stack and the C library's calls themselves:
# fortified calls would bypass their interceptors, and a stack protector's
# canary sits in the redzones they manage. What they leave alone stays.
if(NOT VINTREL_SANITIZE)
  check_cxx_compiler_flag(-fstack-protector-strong VINTREL_HAVE_STACK_PROTECTOR)
  if(VINTREL_HAVE_STACK_PROTECTOR)
    # MinGW links its libssp statically here, with the rest: no new DLL.
    add_compile_options($<${_c_cxx}:-fstack-protector-strong>)
    add_link_options(-fstack-protector-strong)
  endif()

  # Level 3 where the compiler can size objects at run time; glibc warns and
  # falls back to 2 elsewhere. A level already in the flags is kept.
  if(NOT WIN32 AND NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "_FORTIFY_SOURCE")
    set(CMAKE_REQUIRED_FLAGS "-O2 -Werror -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3")
    check_c_source_compiles("#include <string.h>\nint main(void) { return 0; }" VINTREL_HAVE_FORTIFY_3)
    unset(CMAKE_REQUIRED_FLAGS)
    if(VINTREL_HAVE_FORTIFY_3)
      set(_fortify 3)
    else()
      set(_fortify 2)
    endif()
    # Fortification needs the optimiser; the C library warns without it.
    add_compile_options("$<$<AND:${_c_cxx},${_optimised}>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${_fortify}>")
  endif()
endif()

if(NOT WIN32)
  # Windows probes every large frame already (___chkstk_ms).
  check_cxx_compiler_flag(-fstack-clash-protection VINTREL_HAVE_STACK_CLASH)
  if(VINTREL_HAVE_STACK_CLASH)
    add_compile_options($<${_c_cxx}:-fstack-clash-protection>)
  endif()
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i[3-6]86|x86)$")
    add_compile_options($<${_c_cxx}:-fcf-protection>)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    add_compile_options($<${_c_cxx}:-mbranch-protection=standard>)
  endif()
  add_link_options(LINKER:-z,relro,-z,now LINKER:-z,noexecstack)
  check_pie_supported(LANGUAGES C CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
else()
  # Asked for outright, not left to the linker's defaults.
  add_link_options(LINKER:--dynamicbase LINKER:--nxcompat)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(LINKER:--high-entropy-va)
  endif()
endif()
