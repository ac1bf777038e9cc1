# 64-bit ARM Linux with Debian's cross compiler (g++-aarch64-linux-gnu); the
# tests run under QEMU user emulation (qemu-user), with the cross sysroot as
# its library prefix, so no binfmt_misc registration is needed.
set(VINTREL_TRIPLE aarch64-linux-gnu)
set(VINTREL_QEMU qemu-aarch64)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
