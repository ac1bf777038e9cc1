# 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64).
set(VINTREL_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)
