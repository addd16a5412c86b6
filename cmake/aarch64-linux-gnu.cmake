# Cross-build for 64-bit ARM Linux with Debian's aarch64-linux-gnu toolchain. Test programs
# run through qemu-user (ctest prefixes them with the emulator), with the cross C library
# as the emulated root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)

set(TELMORA_AARCH64_SYSROOT /usr/aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH ${TELMORA_AARCH64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages built for the target (GoogleTest) are named by <Package>_DIR on the command line.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

find_program(TELMORA_QEMU_AARCH64 NAMES qemu-aarch64-static qemu-aarch64)
if(TELMORA_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TELMORA_QEMU_AARCH64} -L ${TELMORA_AARCH64_SYSROOT})
endif()
