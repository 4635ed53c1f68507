// In-process cost of the commands and of line framing, set against the time
// their bytes take on a 115200-baud line.
//
// Every command runs through the root of the command tree, as a line from the
// worker does, on the simulated service filled with realistic settings. Log
// lines go to /dev/null (each still costs its write), the "getmp" frame to a
// sink that discards it.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "AudioCommand.h"
#include "Command.h"
#include "LineAssembler.h"
#include "LogLine.h"
#include "RealisticState.h"
#include "SimService.h"
#include "UartWorker.h"
#include "WireTableReporter.h"

namespace {

constexpr int kReplyCapacity = UartWorker::kBufferSize;
constexpr int kBaudrate = 115200;
constexpr double kGoal = 0.001;  // cost at most 0.1% of the wire time

Command* gRoot = nullptr;
unsigned long gNotified = 0;  // bytes handed to the sink

void discard(void*, unsigned char*, unsigned int len) { gNotified += len; }

const std::string kOk("[ok]\0", 5);

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void setAllocs(benchmark::State& state, unsigned long before) {
    const double iterations = static_cast<double>(state.iterations());
    state.counters["allocs"] =
        iterations > 0 ? static_cast<double>(threadAllocations() - before) / iterations : 0.0;
}

// One command line, routed from the root with the worker's reply buffer.
// `replyEnd` is what a correct reply ends with; the first run checks it.
void runLine(benchmark::State& state, const std::string& line, const std::string& replyEnd) {
    std::vector<char> lineBuf(line.size() + 1, '\0');
    std::vector<char> reply(kReplyCapacity, '\0');
    const int len = static_cast<int>(line.size());

    std::memcpy(lineBuf.data(), line.data(), line.size());
    gNotified = 0;
    const int first = gRoot->dispatch(lineBuf.data(), len, reply.data(), kReplyCapacity);
    if (first <= 0 || !endsWith(std::string(reply.data(), static_cast<size_t>(first)), replyEnd)) {
        state.SkipWithError("unexpected reply");
        return;
    }
    const double replyBytes = static_cast<double>(first) + static_cast<double>(gNotified);
    const double wireBytes = static_cast<double>(line.size()) + replyBytes;
    std::memset(reply.data(), 0, static_cast<size_t>(first));

    const unsigned long before = threadAllocations();
    for (auto _ : state) {
        // The items split the line in place: put it back whole each time.
        std::memcpy(lineBuf.data(), line.data(), line.size());
        const int r = gRoot->dispatch(lineBuf.data(), len, reply.data(), kReplyCapacity);
        benchmark::DoNotOptimize(r);
        // The worker zeroes what it sent.
        std::memset(reply.data(), 0, static_cast<size_t>(r > 0 ? r : 0));
        benchmark::ClobberMemory();
    }
    setAllocs(state, before);
    state.counters["wire_bytes"] = wireBytes;
    state.counters["reply_bytes"] = replyBytes;
}

// The read loop's framing: a stream of typical lines fed in reads of the
// worker's buffer size, the read buffer zeroed after each, as the loop does.
void lineAssembly(benchmark::State& state) {
    const audiosim::State device = audiosim::Service::instance().state();
    const std::string mpbin = mpBinLine(device.mpBinExt);
    std::string stream;
    while (stream.size() < 64 * 1024) {
        stream += "dsp vol 40\n";
        stream += "dsp cvol 2 120\r\n";
        stream += "dsp bq 1 3 2 16000 -12.5 10 1 12 180\n";
        stream += "dsp sync\n";
        stream += mpbin;
    }
    std::vector<char> readBuf(kReplyCapacity + 1, '\0');
    std::vector<char> lineBuf(kReplyCapacity, '\0');
    LineAssembler lines(lineBuf.data(), kReplyCapacity);
    long handed = 0;

    const unsigned long before = threadAllocations();
    for (auto _ : state) {
        for (size_t at = 0; at < stream.size(); at += kReplyCapacity) {
            const size_t n = std::min(stream.size() - at, static_cast<size_t>(kReplyCapacity));
            std::memcpy(readBuf.data(), stream.data() + at, n);
            lines.feed(
                readBuf.data(), static_cast<int>(n),
                [&](char* line, int len) {
                    benchmark::DoNotOptimize(line);
                    handed += len;
                },
                [] {});
            std::memset(readBuf.data(), 0, n);
        }
    }
    setAllocs(state, before);
    benchmark::DoNotOptimize(handed);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(stream.size()));
    state.counters["wire_bytes"] = static_cast<double>(stream.size());
}

// What the worker and the callback add to every line, besides the command:
// one INF log line as the worker writes it (the worker writes two a line, an
// item one more per argument word)...
void logLine(benchmark::State& state) {
    const char line[] = "dsp vol 40\n";
    for (auto _ : state) {
        DSP_LOG(INF, "UartWorker", "threadLoop", "%s\n", line);
    }
}

// ...and the echo of the line: puts() of a line that still ends in its LF,
// on a line-buffered stream as the server's standard output is (two writes:
// the line, then puts' own LF), or with the same bytes in one write.
void echo(benchmark::State& state, bool lineBuffered) {
    std::FILE* out = std::fopen("/dev/null", "we");
    if (out == nullptr || std::setvbuf(out, nullptr, lineBuffered ? _IOLBF : _IOFBF, BUFSIZ) != 0) {
        state.SkipWithError("cannot open /dev/null");
        if (out != nullptr) {
            std::fclose(out);
        }
        return;
    }
    const char line[] = "dsp vol 40\n";
    for (auto _ : state) {
        // puts(line) on this stream.
        std::fputs(line, out);
        std::fputc('\n', out);
        if (!lineBuffered) {
            std::fflush(out);
        }
    }
    std::fclose(out);
}

// A short line the whole way through the server, as the worker and the
// callback take it: framing, the worker's log of the line, the echo (puts on
// a line-buffered stream), routing and the command, the worker's log of the
// reply. Only the port's read and write are left out. Mirrors
// UartWorker::runLine and UartWorkerCallBackImpl::onCommand.
void wholeLine(benchmark::State& state, const std::string& line) {
    std::FILE* echoOut = std::fopen("/dev/null", "we");
    if (echoOut == nullptr || std::setvbuf(echoOut, nullptr, _IOLBF, BUFSIZ) != 0) {
        state.SkipWithError("cannot open /dev/null");
        if (echoOut != nullptr) {
            std::fclose(echoOut);
        }
        return;
    }
    std::vector<char> lineBuf(kReplyCapacity, '\0');
    std::vector<char> reply(kReplyCapacity, '\0');
    LineAssembler lines(lineBuf.data(), kReplyCapacity);
    int replied = 0;
    const auto runLine = [&](char* text, int len) {
        DSP_LOG(INF, "UartWorker", "threadLoop", "%s\n", text);
        std::fputs(text, echoOut);
        std::fputc('\n', echoOut);
        const int r = gRoot->dispatch(text, len, reply.data(), kReplyCapacity);
        if (r > 0) {
            DSP_LOG(INF, "UartWorker", "threadLoop", "%.*s\n", r, reply.data());
            std::memset(reply.data(), 0, static_cast<size_t>(r));
            replied = r;
        }
    };
    const unsigned long before = threadAllocations();
    for (auto _ : state) {
        lines.feed(line.data(), static_cast<int>(line.size()), runLine, [] {});
    }
    setAllocs(state, before);
    std::fclose(echoOut);
    state.counters["wire_bytes"] = static_cast<double>(line.size() + static_cast<size_t>(replied));
}

void registerAll(const std::string& mpbin) {
    const std::string report = std::string(":[ok]");
    benchmark::RegisterBenchmark("dsp status", runLine, std::string("dsp status\n"), kOk);
    benchmark::RegisterBenchmark("dsp vol 40", runLine, std::string("dsp vol 40\n"), kOk);
    benchmark::RegisterBenchmark("dsp sync", runLine, std::string("dsp sync\n"), report);
    benchmark::RegisterBenchmark("dsp hfsync", runLine, std::string("dsp hfsync\n"), report);
    benchmark::RegisterBenchmark("dsp mpbin 2560", runLine, mpbin, kOk);
    benchmark::RegisterBenchmark("dsp getmp ext", runLine, std::string("dsp getmp ext\n"), kOk);
    benchmark::RegisterBenchmark("line assembly 64KiB", lineAssembly);
    benchmark::RegisterBenchmark("dsp status, whole line", wholeLine, std::string("dsp status\n"));
    benchmark::RegisterBenchmark("dsp vol 40, whole line", wholeLine, std::string("dsp vol 40\n"));
    benchmark::RegisterBenchmark("per line: log line", logLine);
    benchmark::RegisterBenchmark("per line: echo, line-buffered", echo, true);
    benchmark::RegisterBenchmark("per line: echo, one write", echo, false);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }

    audiosim::Service& service = audiosim::Service::instance();
    service.reset();
    service.setState(realisticState());

    Command root;
    root.add(new AudioCommand());
    root.setNotify(&discard, nullptr);
    gRoot = &root;
    registerAll(mpBinLine(service.state().mpBinExt));

    // Log lines cost their write, as on the device, but must not flood the
    // terminal. The report goes to standard output.
    std::fflush(stderr);
    const int savedErr = dup(STDERR_FILENO);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (savedErr < 0 || devNull < 0 || dup2(devNull, STDERR_FILENO) < 0) {
        std::perror("cannot send log lines to /dev/null");
        return 1;
    }

    // Colours only on a terminal.
    WireTableReporter reporter(kBaudrate, kGoal,
                               isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                     : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    dup2(savedErr, STDERR_FILENO);
    close(savedErr);
    close(devNull);
    return 0;
}
