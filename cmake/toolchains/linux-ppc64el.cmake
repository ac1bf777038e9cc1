# 64-bit little-endian POWER Linux with Debian's cross compiler
# (g++-powerpc64le-linux-gnu), POWER8 and VSX; tests run under QEMU user
# emulation. POWER fuses in its base floating-point instructions (FMADD, ...)
# and in VSX (XSMADDADP, ...), and GCC uses them wherever it may.
set(VINTREL_TRIPLE powerpc64le-linux-gnu)
set(VINTREL_QEMU qemu-ppc64le)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
