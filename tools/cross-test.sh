#!/usr/bin/env bash
# cross-test.sh [--no-install] [--jobs N] [ARCH...]
#
# Builds dspd and its tests for ARM with Debian's cross compilers and runs the
# unit and end-to-end tests under qemu-user. ARCH is armhf
# (arm-linux-gnueabihf) or arm64 (aarch64-linux-gnu); without one, both.
#
#   - Installs what it needs from Debian's archive first (crossbuild-essential-
#     ARCH, qemu-user, googletest, cmake), quietly and only what is missing;
#     --no-install skips that step.
#   - Builds in build-ARCH/ with cmake/toolchains/ARCH.cmake. GoogleTest is
#     built from Debian's sources (/usr/src/googletest) for the target.
#   - Runs ctest: CMAKE_CROSSCOMPILING_EMULATOR (qemu-ARCH -L /usr/TRIPLE)
#     runs each test, and the end-to-end harness starts dspd through the same
#     emulator. The build is a plain one: sanitizers do not work under
#     qemu-user.
#
# Without a binfmt_misc handler for the target, the kernel cannot execute an
# ARM program that a test starts by itself; tests that re-execute their own
# binary are then left out (and named). With a handler registered, they run,
# finding the target's loader through QEMU_LD_PREFIX.
set -euo pipefail
cd "$(dirname "$0")/.."

install=1
jobs=2
arches=()
while [ $# -gt 0 ]; do
    case "$1" in
        --no-install) install=0 ;;
        --jobs) jobs="$2"; shift ;;
        armhf | arm64) arches+=("$1") ;;
        *) echo "usage: $0 [--no-install] [--jobs N] [armhf|arm64]..." >&2; exit 64 ;;
    esac
    shift
done
if [ ${#arches[@]} -eq 0 ]; then
    arches=(armhf arm64)
fi

# Tests whose program starts other programs of the build: the dspctl table
# (dspd-sim, dspctl, and dspd from dspctl sim).
self_exec_tests='^DspctlE2ETest\..*$'

seconds() { date +%s; }

for arch in "${arches[@]}"; do
    case "$arch" in
        armhf) triple=arm-linux-gnueabihf; qemu=arm ;;
        arm64) triple=aarch64-linux-gnu; qemu=aarch64 ;;
    esac
    start=$(seconds)
    if [ $install -eq 1 ]; then
        tools/apt-ensure.sh "crossbuild-essential-$arch" qemu-user googletest cmake rapidjson-dev
    fi
    installed=$(seconds)

    build="build-$arch"
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake" >/dev/null
    cmake --build "$build" -j "$jobs" >"$build/build.log" 2>&1 || {
        tail -n 50 "$build/build.log"
        echo "cross-test: $arch build failed (log: $build/build.log)" >&2
        exit 1
    }
    built=$(seconds)
    echo "cross-test: $arch: install $((installed - start)) s, build $((built - installed)) s"

    exclude=()
    handler="/proc/sys/fs/binfmt_misc/qemu-$qemu"
    if [ -f "$handler" ] && head -n 1 "$handler" | grep -qx enabled; then
        echo "cross-test: $arch: binfmt_misc runs ARM programs: every test runs"
    else
        echo "cross-test: $arch: no binfmt_misc handler: left out: $self_exec_tests"
        exclude=(-E "$self_exec_tests")
    fi
    # ctest's summary (with its total time) stays the last word.
    QEMU_LD_PREFIX="/usr/$triple" \
        ctest --test-dir "$build" --output-on-failure -j "$jobs" "${exclude[@]}"
done
