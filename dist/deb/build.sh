#!/usr/bin/env bash
# build.sh [BUILD_DIR]: builds the host tools' Debian package (dspctl,
# dspd-sim, the simulated dspd) in BUILD_DIR (default build-deb) with
# Debian's hardening flags, and prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-deb}
log="$build.log"

# Debian's flags, given on the command line since CMake reads the
# environment's only on a first configure (and never CPPFLAGS, the fortify
# define's).
flag() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxxflags="$(flag CXXFLAGS) $(flag CPPFLAGS)"
ldflags=$(flag LDFLAGS)

steps() {
    cmake -S . -B "$build" -DDSPD_HOST_PACKAGE=ON -DDSPD_BUILD_TESTS=OFF \
        -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
        "-DCMAKE_CXX_FLAGS=$cxxflags" "-DCMAKE_EXE_LINKER_FLAGS=$ldflags"
    cmake --build "$build" -j "$(nproc)"
    rm -f "$build"/dspctl_*.deb
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build"
}
if ! (set -e; steps) >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "package: build failed (log: $log)" >&2
    exit 1
fi
ls "$build"/dspctl_*.deb
