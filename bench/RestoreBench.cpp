// dspctl restore against the real dspd on a pseudo-terminal (dspctl's own
// simulated device): a state that differs from the device's in one value,
// and a realistic tuned state (RealisticState.h) onto a device at its
// defaults. The state files come from the in-process server's own reports on
// the simulated service set to each state.
//
// Counters: the commands each restore sends (its reads of the state and the
// read-back not counted), the bytes it sends and reads, and their wire time
// at 115200 baud (10 bits a byte) beside the time it took.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "MpBinFile.h"
#include "RealisticState.h"
#include "ReplyReader.h"
#include "SerialPort.h"
#include "SimDevice.h"
#include "StateCommands.h"
#include "StoredState.h"

namespace {

// What one restore moved over the line.
struct Traffic {
    size_t commands = 0;
    size_t bytes = 0;
};

// The state file of `state`, as store would write it, at `path`.
bool writeStateFile(const audiosim::State& state, const std::string& path) {
    std::string message;
    return replaceFile(path, storedStateText(state), &message) == 0;
}

// A simulated device and a restore that counts what it sends and reads.
class RestoreRig {
public:
    RestoreRig() {
        char dir[] = "/tmp/restore-bench-XXXXXX";
        mDir = mkdtemp(dir) != nullptr ? dir : "";
        mSink = std::fopen("/dev/null", "we");
        SimDevice::Options options;
        options.server = DSPD_BINARY;
        options.logPath = mDir + "/dspd.log";
        std::string message;
        mOk = !mDir.empty() && mSink != nullptr && mDevice.start(options, &message);
        if (!mOk) {
            std::fprintf(stderr, "restore_bench: %s\n", message.c_str());
        }
        mPort.attach(mDevice.masterFd());
    }
    ~RestoreRig() {
        mDevice.stop();
        if (mSink != nullptr) {
            std::fclose(mSink);
        }
        if (!mDir.empty() && std::system(("rm -rf '" + mDir + "'").c_str()) != 0) {
            std::fprintf(stderr, "restore_bench: %s left behind\n", mDir.c_str());
        }
    }

    bool ok() const { return mOk; }
    std::string file(const char* name) const { return mDir + "/" + name; }

    // Restores `path`; true when every command was carried out and verified.
    bool restore(const std::string& path, Traffic* traffic) {
        const auto send = [this, traffic](const std::string& line, Reply* reply) {
            ReplyReader reader(mPort.fd(), 2000, 500);
            if (mPort.writeAll(line) != 0 || reader.read(reply) != 0) {
                return 5;
            }
            const bool read = line.compare(0, 8, "dsp sync") == 0 ||
                              line.compare(0, 10, "dsp hfsync") == 0 ||
                              line.compare(0, 9, "dsp getmp") == 0;
            traffic->commands += read ? 0 : 1;
            traffic->bytes += line.size() + reply->raw.size();
            return -1;
        };
        return StateCommands(send, "bench", mSink, mSink).restore(path, false) == 0;
    }

private:
    std::string mDir;
    FILE* mSink = nullptr;
    SimDevice mDevice;
    SerialPort mPort;
    bool mOk = false;
};

double wireSeconds(size_t bytes) { return static_cast<double>(bytes) * 10 / 115200; }

// Each round restores the state with one value changed, then the defaults
// back: every restore sends one command.
void BM_RestoreOneValue(benchmark::State& state) {
    RestoreRig rig;
    audiosim::State changed = audiosim::State::defaults();
    changed.masterVolume = 40;
    const std::string files[2] = {rig.file("changed.json"), rig.file("defaults.json")};
    if (!rig.ok() || !writeStateFile(changed, files[0]) ||
        !writeStateFile(audiosim::State::defaults(), files[1])) {
        state.SkipWithError("no simulated device or state files");
        return;
    }
    Traffic traffic;
    size_t restores = 0;
    for (auto _ : state) {
        if (!rig.restore(files[restores++ % 2], &traffic)) {
            state.SkipWithError("restore failed");
            return;
        }
    }
    state.counters["commands"] = static_cast<double>(traffic.commands) / restores;
    state.counters["bytes"] = static_cast<double>(traffic.bytes) / restores;
}
BENCHMARK(BM_RestoreOneValue)->Unit(benchmark::kMillisecond);

// Each round restores the realistic state onto the defaults (timed), then
// the defaults back (not timed).
void BM_RestoreRealisticOntoDefaults(benchmark::State& state) {
    RestoreRig rig;
    const std::string tuned = rig.file("tuned.json");
    const std::string defaults = rig.file("defaults.json");
    if (!rig.ok() || !writeStateFile(realisticState(), tuned) ||
        !writeStateFile(audiosim::State::defaults(), defaults)) {
        state.SkipWithError("no simulated device or state files");
        return;
    }
    Traffic traffic;
    Traffic back;
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const bool restored = rig.restore(tuned, &traffic);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();
        if (!restored || !rig.restore(defaults, &back)) {
            state.SkipWithError("restore failed");
            return;
        }
        state.ResumeTiming();
    }
    const double rounds = static_cast<double>(state.iterations());
    const double wire = wireSeconds(traffic.bytes) / rounds;
    state.counters["commands"] = static_cast<double>(traffic.commands) / rounds;
    state.counters["bytes"] = static_cast<double>(traffic.bytes) / rounds;
    state.counters["wire_ms"] = wire * 1000;
    state.counters["took_ms"] = seconds / rounds * 1000;
    state.counters["ratio"] = seconds / rounds / wire;
}
BENCHMARK(BM_RestoreRealisticOntoDefaults)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
