# Shared by the Debian cross toolchains: VINTREL_TRIPLE names the compiler
# prefix and sysroot (/usr/<triple>), VINTREL_QEMU the user-mode emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${VINTREL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VINTREL_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${VINTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L: the target's dynamic loader and libraries come from the cross sysroot.
# The loader still reads the machine's own /etc/ld.so.cache, which on amd64
# with 32-bit libraries names /lib32's libc: paired with the sysroot's loader
# of another release, a forked child hangs. LD_LIBRARY_PATH comes first.
# Without QEMU the build still works; its tests are reported as skipped.
find_program(VINTREL_QEMU_PROGRAM ${VINTREL_QEMU} NO_CMAKE_FIND_ROOT_PATH)
if(VINTREL_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VINTREL_QEMU_PROGRAM} -L /usr/${VINTREL_TRIPLE}
    -E LD_LIBRARY_PATH=/usr/${VINTREL_TRIPLE}/lib)
endif()
