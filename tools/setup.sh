#!/usr/bin/env bash
# setup.sh run [ARGS...] | setup.sh test: from a fresh clone on Debian 12 (or
# alike) to a running simulated device, or to the whole test suite, in one
# command. Installs the missing Debian packages first (tools/apt-ensure.sh:
# quietly, as root or through sudo), builds in build/ on every core, then:
#   run   builds dspd and dspctl and opens dspctl's console on a simulated
#         device (dspctl sim ARGS...; piped input runs as a batch)
#   test  with the test tools too, builds everything and runs every test
set -euo pipefail
cd "$(dirname "$0")/.."

# Building and running dspd and dspctl.
run_packages=(build-essential cmake pkg-config libedit-dev rapidjson-dev libcpp-httplib-dev)
# Every test and CI stage: GoogleTest, the benchmarks' library, memcheck,
# the unit check (systemd-analyze), the soak (python3), the man pages, and
# the package's lint and its clean root, the web console's browser test.
test_packages=(libgtest-dev libgmock-dev libbenchmark-dev valgrind python3 systemd help2man
    lintian debootstrap chromium chromium-driver python3-selenium)

# The configure's output goes to build/configure.log; its summary (what is
# on, what is off and why) is shown.
configure() {
    mkdir -p build
    cmake -S . -B build >build/configure.log 2>&1 || { cat build/configure.log; exit 1; }
    grep '^-- dspd: ' build/configure.log
}

case "${1:-}" in
    run)
        shift
        tools/apt-ensure.sh "${run_packages[@]}"
        configure
        cmake --build build -j "$(nproc)" --target dspctl
        exec ./build/tools/dspctl/dspctl sim "$@"
        ;;
    test)
        tools/apt-ensure.sh "${run_packages[@]}" "${test_packages[@]}"
        configure
        cmake --build build -j "$(nproc)"
        ctest --test-dir build --output-on-failure -j "$(nproc)"
        ;;
    *)
        echo "usage: tools/setup.sh run [dspctl sim options] | tools/setup.sh test" >&2
        exit 64
        ;;
esac
