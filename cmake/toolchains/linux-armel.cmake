# 32-bit ARM Linux, soft-float ABI, with Debian's cross compiler
# (g++-arm-linux-gnueabi): ARMv5TE without an FPU, so every double operation
# is a call into libgcc (__aeabi_dmul, __aeabi_dadd, ...), each rounded on
# its own. Tests run under QEMU user emulation.
set(VINTREL_TRIPLE arm-linux-gnueabi)
set(VINTREL_QEMU qemu-arm)
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
