# Shared by the Windows toolchains: VINTREL_TRIPLE names Debian's MinGW-w64
# compiler prefix and root (/usr/<triple>). Everything is linked statically,
# so the programs and the DLL need only Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
# The POSIX thread model: its C++ library has std::mutex, which GoogleTest
# needs; winpthread is linked in statically like the rest.
set(CMAKE_C_COMPILER ${VINTREL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VINTREL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VINTREL_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VINTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No link time in the PE header: the same sources give the same bytes.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
