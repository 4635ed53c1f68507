// CPU that dspd uses when nothing happens: with a peer that sends nothing,
// and after the peer has gone (the pty master closed, the port hung up).
//
//     idle_cpu_bench [--seconds S] [--dspd PATH]
//
// Each phase watches the running server for S seconds (20 by default) and
// prints its CPU share of one core from /proc/<pid>/stat (clock ticks, the
// coarse figure) and from schedstat (nanoseconds), and its wake-ups a second.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ProcessCpu.h"
#include "ServerOnPty.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoal = 0.001;  // at most 0.1% of one core

void sleepSeconds(double seconds) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
    while (nanosleep(&ts, &ts) != 0) {
    }
}

// Watches `pid` for `seconds` and prints one row; false when it vanished.
bool watch(const char* phase, pid_t pid, double seconds, bool* met) {
    CpuSample before;
    CpuSample after;
    const auto start = Clock::now();
    if (!sampleCpu(pid, &before)) {
        return false;
    }
    sleepSeconds(seconds);
    if (!sampleCpu(pid, &after)) {
        return false;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const double stat = (after.statSeconds - before.statSeconds) / elapsed;
    const double sched = (after.schedSeconds - before.schedSeconds) / elapsed;
    const double wakeups = static_cast<double>(after.switches - before.switches) / elapsed;
    const bool ok = sched <= kGoal && stat <= kGoal;
    *met = *met && ok;
    std::printf("%-14s %8.1f %12.4f%% %14.4f%% %12.1f %s\n", phase, elapsed, stat * 100.0,
                sched * 100.0, wakeups, ok ? "met" : "MISSED");
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20.0;
    std::string binary = DSPD_BINARY;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--dspd" && i + 1 < argc) {
            binary = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--seconds S] [--dspd PATH]\n", argv[0]);
            return 2;
        }
    }
    if (seconds <= 0.0) {
        std::fprintf(stderr, "idle_cpu_bench: --seconds must be positive\n");
        return 2;
    }

    ServerOnPty server(binary);
    if (!server.ok() || !server.waitReady()) {
        std::fprintf(stderr, "idle_cpu_bench: dspd did not start\n");
        return 1;
    }
    // Let the start-up and the probe settle before watching.
    sleepSeconds(0.5);

    std::printf("Idle CPU of dspd, share of one core\n");
    std::printf("%-14s %8s %13s %15s %12s %s\n", "phase", "seconds", "/proc stat", "schedstat",
                "wakeups/s", "goal <= 0.1%");
    bool met = true;
    if (!watch("no traffic", server.pid(), seconds, &met)) {
        std::fprintf(stderr, "idle_cpu_bench: dspd vanished\n");
        return 1;
    }
    server.closeMaster();
    if (!watch("peer gone", server.pid(), seconds, &met)) {
        std::fprintf(stderr, "idle_cpu_bench: dspd vanished\n");
        return 1;
    }
    const int status = server.stop();
    if (status != 0) {
        std::fprintf(stderr, "idle_cpu_bench: dspd exit status %d\n", status);
        return 1;
    }
    return 0;
}
