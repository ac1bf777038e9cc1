# 32-bit Linux BINARIES import only 64-bit file calls: the 32-bit ones fail on
# files of 2 GiB and more, which QEMU on a 64-bit kernel hides but READELF shows.
cmake_minimum_required(VERSION 3.25)
set(narrow "fopen|freopen|tmpfile|open|openat|creat|lseek|fseeko|ftello|fgetpos|fsetpos|stat|lstat|fstat|fstatat")
set(narrow "${narrow}|__xstat|__lxstat|__fxstat|__fxstatat|truncate|ftruncate|pread|pwrite|mmap|fallocate|readdir")
string(REPLACE "|" ";" BINARIES "${BINARIES}")
foreach(binary IN LISTS BINARIES)
  execute_process(COMMAND ${READELF} --dyn-syms -W ${binary} OUTPUT_VARIABLE table COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " UND (${narrow})(@[^\n]*)?\n" found "${table}")
  if(found OR NOT table MATCHES " UND _*(fopen|open|lstat|stat)64(_time64)?@")
    message(FATAL_ERROR "${binary}: 32-bit file calls, or no 64-bit one:\n${found}")
  endif()
endforeach()
