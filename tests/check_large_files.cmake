# A 32-bit Linux binary imports the C library's 64-bit file calls only:
# fopen64, not fopen. The 32-bit forms fail on files of 2 GiB or more, and
# QEMU on a 64-bit kernel does not show it; the imports do (READELF,
# BINARIES).
cmake_minimum_required(VERSION 3.25)
set(forbidden fopen freopen tmpfile open openat creat lseek fseeko ftello fgetpos fsetpos
  stat lstat fstat fstatat __xstat __lxstat __fxstat __fxstatat truncate ftruncate
  pread pwrite mmap posix_fallocate fallocate readdir statfs fstatfs)
string(REPLACE "|" ";" BINARIES "${BINARIES}")
foreach(binary IN LISTS BINARIES)
  execute_process(COMMAND ${READELF} --dyn-syms -W ${binary} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${binary}")
  endif()
  string(REGEX MATCHALL " UND [^ @\n]+" imports "${table}")
  list(TRANSFORM imports REPLACE "^ UND " "")
  set(wide "")
  set(narrow "")
  foreach(name IN LISTS imports)
    if(name IN_LIST forbidden)
      list(APPEND narrow ${name})
    elseif(name MATCHES "^(_*)(fopen|open|lstat|stat|fstat|fseeko)(64|_time64|64_time64)$")
      list(APPEND wide ${name})
    endif()
  endforeach()
  if(narrow)
    message(FATAL_ERROR "${binary} imports 32-bit file calls: ${narrow}")
  endif()
  if(NOT wide)
    message(FATAL_ERROR "${binary} imports no 64-bit file call at all; imports: ${imports}")
  endif()
  message(STATUS "${binary}: ${wide}")
endforeach()
