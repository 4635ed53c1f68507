#!/usr/bin/env bash
# footprint.sh [--no-install] [--jobs N]
#
# Measures the server and prints a Markdown table (docs/footprint.md's
# table):
#   - stripped size of dspd for x86-64, armhf and arm64, as a device build
#     links it (against the platform's audio client library: a shared build of
#     the stand-in's sources plays that library here, which does not change
#     dspd itself) and as a simulator build (the stand-in linked in); the
#     difference is the stand-in's share;
#   - peak resident memory and peak heap of one server session that runs
#     every item of the dsp group once (over a pseudo-terminal, driven by
#     dspd_session; heap from valgrind's massif), and threads and descriptors
#     of the idle server (from /proc). These run natively (x86-64) with the
#     simulated service: under qemu-user /proc would describe the emulator.
# Builds go to build-footprint/. Items not built yet just get no reply.
set -euo pipefail
cd "$(dirname "$0")/.."

install=1
jobs=2
while [ $# -gt 0 ]; do
    case "$1" in
        --no-install) install=0 ;;
        --jobs) jobs="$2"; shift ;;
        *) echo "usage: $0 [--no-install] [--jobs N]" >&2; exit 64 ;;
    esac
    shift
done
if [ $install -eq 1 ]; then
    tools/apt-ensure.sh crossbuild-essential-armhf crossbuild-essential-arm64 valgrind \
        googletest libgtest-dev libgmock-dev cmake
fi

out=build-footprint
mkdir -p "$out"
log="$out/build.log"
: >"$log"

tool_prefix() {
    case "$1" in
        x86_64) echo "" ;;
        armhf) echo arm-linux-gnueabihf- ;;
        arm64) echo aarch64-linux-gnu- ;;
    esac
}

# build DIR TARGETS... -- CMAKE_ARGS...
build() {
    local dir="$1"
    shift
    local targets=()
    while [ "$1" != -- ]; do
        targets+=(--target "$1")
        shift
    done
    shift
    if ! { cmake -S . -B "$dir" "$@" && cmake --build "$dir" -j "$jobs" "${targets[@]}"; } \
        >>"$log" 2>&1; then
        tail -n 40 "$log"
        echo "footprint: build in $dir failed (log: $log)" >&2
        exit 1
    fi
}

stripped_size() {
    local copy="$out/stripped.tmp"
    "$(tool_prefix "$2")strip" -o "$copy" "$1"
    stat -c %s "$copy"
    rm -f "$copy"
}

kib() { awk -v b="$1" 'BEGIN { printf "%.1f KiB", b / 1024 }'; }

# Code and initialised data, without the file's alignment padding.
loaded_size() { "$(tool_prefix "$2")size" -B "$1" | awk 'NR == 2 { print $1 + $2 }'; }

declare -A device_size sim_size device_loaded
for arch in x86_64 armhf arm64; do
    toolchain=()
    if [ $arch != x86_64 ]; then
        toolchain=(-DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$arch.cmake")
    fi
    # The simulator build of x86-64 also builds the session driver.
    if [ $arch = x86_64 ]; then
        build "$out/$arch-sim" dspd dspd_session --
    else
        build "$out/$arch-sim" dspd -- "${toolchain[@]}" -DDSPD_BUILD_TESTS=OFF
    fi
    platform="$out/$arch-platform"
    mkdir -p "$platform"
    "$(tool_prefix $arch)g++" -std=c++17 -O2 -shared -fPIC -pthread -Iclient/include -Iclient/sim \
        client/sim/*.cpp -o "$platform/libaudioclient.so"
    build "$out/$arch-device" dspd -- "${toolchain[@]}" \
        -DDSPD_AUDIO_CLIENT_LIB="$PWD/$platform/libaudioclient.so"
    sim_size[$arch]=$(stripped_size "$out/$arch-sim/app/dspd" $arch)
    device_size[$arch]=$(stripped_size "$out/$arch-device/app/dspd" $arch)
    device_loaded[$arch]=$(loaded_size "$out/$arch-device/app/dspd" $arch)
done

# One line per item of the dsp group, in the order of its table.
commands="$out/session-commands.txt"
{
    echo "dsp status"
    echo "dsp sync"
    echo "dsp vol 40"
    echo "dsp cvol 2 -3"
    echo "dsp delay 1 1.5"
    echo "dsp eq gain 3 -2.5 0"
    printf 'dsp bq channel 0'
    for band in $(seq 0 19); do printf ' 1 %d -1.5 0.707 0 0 0' $((100 + band * 500)); done
    echo
    echo "dsp ftr 1 1 2 3 4 5 6"
    echo "dsp loud 1 2 3"
    echo "dsp sig 1"
    echo "dsp spk 1"
    echo "dsp bteq gain 0 2.5 3"
    echo "dsp hfaec adc MicOpGain 1 3.5"
    echo "dsp hfsync"
    awk 'BEGIN { printf "dsp mpbin 2560 ";
                 for (i = 0; i < 2560; i++) printf "%02x%s", i % 256, i < 2559 ? ":" : "\n" }'
    echo "dsp getmp ext"
} >"$commands"

session="$out/x86_64-sim/bench/dspd_session"
"$session" "$commands" >"$out/session.txt" 2>>"$log"
massif="$out/massif.out"
DSPD_TEST_LAUNCHER="valgrind --tool=massif --massif-out-file=$massif" \
    "$session" "$commands" >"$out/session-massif.txt" 2>>"$log"

field() { awk -v k="$1" '$1 == k { print $2 }' "$out/session.txt"; }
heap=$(awk -F= '/^mem_heap_B=/ { h = $2 } /^mem_heap_extra_B=/ { if (h > p) p = h;
       if (h + $2 > q) q = h + $2 } END { print p, q }' "$massif")
descriptors=$(awk '$1 == "fd" { printf "%s%s %s", sep, $2, $3; sep = ", " }' "$out/session.txt" |
    sed -E 's/pipe:\[[0-9]+\]/pipe/g; s#/dev/pts/[0-9]+#the port#')

echo "| dspd | x86-64 | armhf | arm64 |"
echo "|---|---|---|---|"
printf '| stripped file, device build (platform library linked) |'
for arch in x86_64 armhf arm64; do printf ' %s |' "$(kib "${device_size[$arch]}")"; done
printf '\n| its code and data (text + data, no alignment padding) |'
for arch in x86_64 armhf arm64; do printf ' %s |' "$(kib "${device_loaded[$arch]}")"; done
printf '\n| stripped file, simulator build (stand-in linked in) |'
for arch in x86_64 armhf arm64; do printf ' %s |' "$(kib "${sim_size[$arch]}")"; done
printf "\n| the stand-in's share (difference of the two files) |"
for arch in x86_64 armhf arm64; do
    printf ' %s |' "$(kib $((sim_size[$arch] - device_size[$arch])))"
done
echo
echo
echo "| Session of $(field lines) command lines (x86-64, simulator build) | |"
echo "|---|---|"
echo "| peak resident memory (VmHWM) | $(field vm_hwm_kib) KiB |"
echo "| peak heap (massif: requested / with allocator overhead) |" \
    "$(kib "${heap% *}") / $(kib "${heap#* }") |"
echo "| threads while idle | $(field threads) |"
echo "| descriptors while idle | $(field fds): $descriptors |"
echo "| reply bytes received | $(field reply_bytes) |"
