# Cross-compiling for ARM Linux with Debian's cross compilers, which bring their own C library.
# Boost and GoogleTest come from HARNOW_SYSROOT: Debian's packages for the target, unpacked
# (scripts/build-arm.sh makes it). HARNOW_ARM_ARCH is arm64 or armhf.
set(HARNOW_ARM_ARCH arm64 CACHE STRING "arm64 (64-bit) or armhf (32-bit)")
set(HARNOW_SYSROOT "" CACHE PATH "Debian's packages for the target, unpacked")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES HARNOW_ARM_ARCH HARNOW_SYSROOT)
if(HARNOW_ARM_ARCH STREQUAL "armhf")
    set(triple arm-linux-gnueabihf)
    set(CMAKE_SYSTEM_PROCESSOR arm)
else()
    set(triple aarch64-linux-gnu)
    set(CMAKE_SYSTEM_PROCESSOR aarch64)
endif()

set(CMAKE_SYSTEM_NAME Linux)
# Debian's name of the machine, for the package.
set(HARNOW_DEB_ARCH ${HARNOW_ARM_ARCH})
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_FIND_ROOT_PATH ${HARNOW_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# CTest and the end-to-end tests run the programs through qemu, with the cross compiler's C
# library for theirs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-${CMAKE_SYSTEM_PROCESSOR}-static -L /usr/${triple})
