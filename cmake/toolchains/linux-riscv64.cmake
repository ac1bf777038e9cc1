# 64-bit RISC-V Linux (RV64GC, lp64d) with Debian's cross compiler
# (g++-riscv64-linux-gnu); tests run under QEMU user emulation. The D
# extension fuses (FMADD.D, ...), and GCC uses it wherever it may.
set(VINTREL_TRIPLE riscv64-linux-gnu)
set(VINTREL_QEMU qemu-riscv64)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
