# 32-bit x86 Linux with Debian's cross compiler (g++-i686-linux-gnu). Debian's
# i386 baseline is the i686 without SSE2, whose doubles go through x87 and
# round twice; this build needs SSE2 (VintrelFlags.cmake adds -msse2
# -mfpmath=sse), and the code refuses to compile without it. Tests run under
# qemu-i386, so they need no 32-bit support from the machine running them.
set(VINTREL_TRIPLE i686-linux-gnu)
set(VINTREL_QEMU qemu-i386)
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
