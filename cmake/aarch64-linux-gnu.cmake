# Cross-compiling for 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu;
# the programs run under qemu-user (qemu-aarch64 -L /usr/aarch64-linux-gnu).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(VR_ARM_PREFIX aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${VR_ARM_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VR_ARM_PREFIX}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${VR_ARM_PREFIX})

set(CMAKE_FIND_ROOT_PATH /usr/${VR_ARM_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
