# 64-bit little-endian MIPS Linux (n64 ABI) with Debian's cross compiler
# (g++-mips64el-linux-gnuabi64); tests run under QEMU user emulation.
#
# MIPS64r2 has the four-operand MADD.D family, fused on some cores and not on
# others, so this build gives the test that forbids them something to guard.
set(VINTREL_TRIPLE mips64el-linux-gnuabi64)
set(VINTREL_QEMU qemu-mips64el)
set(CMAKE_SYSTEM_PROCESSOR mips64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
