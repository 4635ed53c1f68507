# Shared part of the toolchain files for Debian's cross compilers
# (crossbuild-essential-<arch>). The including file sets DSPD_CROSS_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
#
# The target's libraries and headers live under /usr/<triple>; qemu-user runs
# the target's programs against that tree (-L), so tests and
# gtest_discover_tests work through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${DSPD_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DSPD_CROSS_TRIPLE}-g++)

set(DSPD_CROSS_ROOT /usr/${DSPD_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${DSPD_CROSS_ROOT})
# Build tools (pkg-config, qemu) are the host's; libraries, headers and
# packages only the target's, so a host GoogleTest is never picked up.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    find_program(DSPD_QEMU qemu-${DSPD_QEMU_ARCH})
    if(DSPD_QEMU)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${DSPD_QEMU} -L ${DSPD_CROSS_ROOT})
    endif()
endif()

# GCC's notes that the argument passing of some types changed in GCC 7.1 only
# matter when linking with objects built by older compilers.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
