# 32-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-i686): the one target
# where the export's calling convention (__stdcall, callee pops) changes the
# code.
set(VINTREL_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGW.cmake)

# Windows on x86 promises a caller's stack only 4-byte alignment, and other
# compilers' code keeps no more; GCC would assume 16 and spill SSE registers
# with aligned moves. Every function that needs more aligns its own frame.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
