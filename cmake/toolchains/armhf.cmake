# 32-bit ARM, hard float: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/armhf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(DSPD_CROSS_TRIPLE arm-linux-gnueabihf)
set(DSPD_QEMU_ARCH arm)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
