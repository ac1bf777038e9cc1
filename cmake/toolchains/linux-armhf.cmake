# 32-bit ARM Linux, hard-float ABI, with Debian's cross compiler
# (g++-arm-linux-gnueabihf); tests run under QEMU user emulation.
#
# Doubles go through the VFP unit, which is IEEE double precision. VFPv4 (the
# FPU of Cortex-A7/A15/A17 cores, here with NEON) rather than Debian's VFPv3-D16
# baseline: it is the first ARMv7 FPU with fused multiply-add, so this is the
# build where a fused instruction could appear, and the test that forbids
# them has something to guard.
set(VINTREL_TRIPLE arm-linux-gnueabihf)
set(VINTREL_QEMU qemu-arm)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_C_FLAGS_INIT "-mfloat-abi=hard -mfpu=neon-vfpv4")
set(CMAKE_CXX_FLAGS_INIT "-mfloat-abi=hard -mfpu=neon-vfpv4")
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
