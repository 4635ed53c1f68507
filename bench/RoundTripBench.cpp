// Round trips per second over a pseudo-terminal: the real dspd against
// line-responder, the least any server can do on the same transport.
//
// Both run at once, each on its own pty, driven by the same client code. The
// runs alternate (dspd first in even batches, the responder first in odd
// ones) so drifting load on a shared machine hits both alike; each batch
// gives one ratio, and the median ratio is the figure. Beside it: the
// quartiles of the ratios, the ratio of the two servers' best rates (90th
// percentile), the time dspd adds to a round trip (median), the CPU each
// server spends on a request (us, from schedstat) and the wire time of the
// same exchange at 115200 baud.
//
//     roundtrip_bench [--rounds N] [--batches B] [--dspd PATH] [--responder PATH]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ProcessCpu.h"
#include "ServerOnPty.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kGoal = 0.9;      // dspd's rate at least this share of the responder's
constexpr int kBaudrate = 115200;  // for the wire time of the same exchange

struct Options {
    // Short batches and many of them: a burst of load from elsewhere spoils a
    // few pairs, which the median leaves out.
    int rounds = 250;
    int batches = 101;
    std::string dspd = DSPD_BINARY;
    std::string responder = RESPONDER_BINARY;
};

bool parse(int argc, char** argv, Options* options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--rounds" && hasValue) {
            options->rounds = std::atoi(argv[++i]);
        } else if (arg == "--batches" && hasValue) {
            options->batches = std::atoi(argv[++i]);
        } else if (arg == "--dspd" && hasValue) {
            options->dspd = argv[++i];
        } else if (arg == "--responder" && hasValue) {
            options->responder = argv[++i];
        } else {
            return false;
        }
    }
    return options->rounds > 0 && options->batches > 0;
}

// One server's share of a comparison: its rates and the CPU it used.
struct Side {
    ServerOnPty* server;
    std::vector<double> rates;
    double cpuSeconds = 0.0;  // on-CPU time of the server over the timed batches
    long requests = 0;
};

// Round trips per second over `rounds` requests; 0 when one fails. The
// server's CPU time is read around the batch, outside the timed part.
double rate(Side& side, const std::string& line, int rounds) {
    CpuSample before;
    CpuSample after;
    const bool sampled = sampleCpu(side.server->pid(), &before);
    const auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        if (!side.server->roundTrip(line, 5)) {
            return 0.0;
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (sampled && sampleCpu(side.server->pid(), &after)) {
        side.cpuSeconds += after.schedSeconds - before.schedSeconds;
        side.requests += rounds;
    }
    return rounds / seconds;
}

// The 1-minute load average, or -1 when it cannot be read.
double loadAverage() {
    std::FILE* file = std::fopen("/proc/loadavg", "r");
    if (file == nullptr) {
        return -1.0;
    }
    double load = -1.0;
    if (std::fscanf(file, "%lf", &load) != 1) {
        load = -1.0;
    }
    std::fclose(file);
    return load;
}

// The value below which a share `p` (0 to 1) of `values` lies, interpolated.
double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const double at = p * static_cast<double>(values.size() - 1);
    const size_t low = static_cast<size_t>(at);
    const size_t high = low + 1 < values.size() ? low + 1 : low;
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

double median(const std::vector<double>& values) { return percentile(values, 0.5); }

// Runs the batches for one line; false when a server stopped answering.
bool compare(ServerOnPty& dspdServer, ServerOnPty& responderServer, const std::string& line,
             const Options& options, bool* met) {
    Side dspd{&dspdServer, {}};
    Side responder{&responderServer, {}};
    const int warmUp = std::min(200, options.rounds);
    if (rate(dspd, line, warmUp) <= 0.0 || rate(responder, line, warmUp) <= 0.0) {
        return false;
    }
    dspd = Side{&dspdServer, {}};
    responder = Side{&responderServer, {}};
    std::vector<double> ratios;
    std::vector<double> added;  // seconds dspd adds to one round trip
    for (int batch = 0; batch < options.batches; ++batch) {
        double d = 0.0;
        double r = 0.0;
        if (batch % 2 == 0) {
            d = rate(dspd, line, options.rounds);
            r = rate(responder, line, options.rounds);
        } else {
            r = rate(responder, line, options.rounds);
            d = rate(dspd, line, options.rounds);
        }
        if (d <= 0.0 || r <= 0.0) {
            return false;
        }
        dspd.rates.push_back(d);
        responder.rates.push_back(r);
        ratios.push_back(d / r);
        added.push_back(1.0 / d - 1.0 / r);
    }
    const double ratio = median(ratios);
    const double wire = (static_cast<double>(line.size()) + 5.0) * 10.0 / kBaudrate;
    const auto perRequest = [](const Side& side) {
        return side.requests > 0 ? side.cpuSeconds / static_cast<double>(side.requests) * 1e6 : 0.0;
    };
    const std::string shown = line.substr(0, line.size() - 1);
    *met = *met && ratio >= kGoal;
    // The fastest tenth of each server's batches: those that other work on
    // the machine left alone.
    const double best = percentile(dspd.rates, 0.9) / percentile(responder.rates, 0.9);
    std::printf("%-12s %11.0f %11.0f %7.3f %7.3f %7.3f %7.3f %10.2f %8.2f %8.2f %9.3f %s\n",
                shown.c_str(), median(dspd.rates), median(responder.rates), ratio,
                percentile(ratios, 0.25), percentile(ratios, 0.75), best, median(added) * 1e6,
                perRequest(dspd), perRequest(responder), wire * 1e3,
                ratio >= kGoal ? "met" : "MISSED");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parse(argc, argv, &options)) {
        std::fprintf(stderr,
                     "usage: %s [--rounds N] [--batches B] [--dspd PATH] [--responder PATH]\n",
                     argv[0]);
        return 2;
    }
    ServerOnPty dspd(options.dspd);
    ServerOnPty responder(options.responder);
    if (!dspd.ok() || !responder.ok() || !dspd.waitReady() || !responder.waitReady()) {
        std::fprintf(stderr, "roundtrip_bench: a server did not start\n");
        return 1;
    }

    // Other work on the machine swamps a difference of a microsecond or two.
    std::printf(
        "Round trips over a pseudo-terminal: %d batches of %d, alternating "
        "(load average %.2f at start)\n",
        options.batches, options.rounds, loadAverage());
    std::printf("%-12s %11s %11s %7s %7s %7s %7s %10s %8s %8s %9s %s\n", "request", "dspd (/s)",
                "minimal(/s)", "ratio", "q1", "q3", "best", "added (us)", "cpu dspd", "cpu min",
                "wire (ms)", "goal >= 0.9");
    bool met = true;
    for (const char* line : {"dsp status\n", "dsp vol 40\n"}) {
        if (!compare(dspd, responder, line, options, &met)) {
            std::fprintf(stderr, "roundtrip_bench: no reply to %s", line);
            return 1;
        }
    }
    const int dspdStatus = dspd.stop();
    const int responderStatus = responder.stop();
    if (dspdStatus != 0 || responderStatus != 0) {
        std::fprintf(stderr, "roundtrip_bench: exit status dspd %d, responder %d\n", dspdStatus,
                     responderStatus);
        return 1;
    }
    return 0;
}
