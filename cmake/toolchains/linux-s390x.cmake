# 64-bit IBM Z Linux with Debian's cross compiler (g++-s390x-linux-gnu): the
# one big-endian target, so a header field read or written through a
# multi-byte load or store shows here. Tests run under QEMU user emulation.
#
# IBM Z has fused multiply-add in its base floating-point instructions
# (MADBR and friends), so this build, like armhf, gives the test that forbids
# them something to guard.
set(VINTREL_TRIPLE s390x-linux-gnu)
set(VINTREL_QEMU qemu-s390x)
set(CMAKE_SYSTEM_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
