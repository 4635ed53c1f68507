# 64-bit ARM: cmake -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/arm64.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(DSPD_CROSS_TRIPLE aarch64-linux-gnu)
set(DSPD_QEMU_ARCH aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
