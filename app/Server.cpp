#include "Server.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "AudioCommand.h"
#include "Command.h"
#include "LogLine.h"
#include "PortArgument.h"
#include "PosixPortIo.h"
#include "ServiceManager.h"
#include "StopSignal.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

constexpr int kBaudrate = 115200;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kParity = 'n';
// How long a stop request waits for the worker before the process leaves
// without it: the worker gives up a blocked write within kWriteWaitMs, so
// only a worker stuck elsewhere (the echo or the log on a pipe nobody reads,
// a service call that does not return) is left behind.
constexpr int kStopGraceMs = 800;

// Waits until the worker has ended, or until a stop request has waited
// kStopGraceMs for it; returns false in the latter case.
bool waitForWorker(UartWorker* worker) {
    std::atomic<bool> ended(false);
    std::thread joiner([&] {
        delete worker;
        ended = true;
        StopSignal::wake();
    });
    while (!ended && !StopSignal::flag()) {
        StopSignal::waitForWake(-1);
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopGraceMs);
    for (auto now = std::chrono::steady_clock::now(); !ended && now < deadline;
         now = std::chrono::steady_clock::now()) {
        StopSignal::waitForWake(static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count() + 1));
    }
    if (!ended) {
        joiner.detach();
        return false;
    }
    joiner.join();
    return true;
}

// True when a write to `fd` would not block.
bool writable(int fd) {
    struct pollfd pfd = {fd, POLLOUT, 0};
    return poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLOUT) != 0;
}

const char kUsage[] =
    "Usage: dspd [PORT]\n"
    "Command server for the audio DSP: carries out \"dsp\" command lines from a\n"
    "peer on the serial port /dev/ttyS<PORT> (115200 baud, 8N1, raw) against the\n"
    "audio service and answers on the same port.\n"
    "\n"
    "  PORT       the port number, its leading decimal number (2.9 gives 2, a\n"
    "             text without a number gives 0); default 1\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Each dispatched line is echoed on standard output; log lines go to standard\n"
    "error. SIGTERM or SIGINT stops the server. DSPD_SERIAL_PREFIX replaces the\n"
    "device prefix /dev/ttyS. The exit status is 0.\n";

// --help and --version are answered before anything touches a port: a port
// argument of 0 would reconfigure the machine's first serial port. Returns
// the exit status, or -1 when the arguments are no such request.
int answerInfoRequest(int argc, char** argv) {
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) {
        return -1;
    }
    if (std::strcmp(argv[1], "--help") == 0) {
        std::fputs(kUsage, stdout);
    } else if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("dspd %s\n", DSPD_VERSION);
    } else {
        return -1;
    }
    // A help text that could not be written is no success.
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int serverMain(int argc, char** argv) {
    const int infoStatus = answerInfoRequest(argc, argv);
    if (infoStatus >= 0) {
        return infoStatus;
    }
    // Fully buffered: the callback flushes each echo as one write when its
    // line is dispatched (line buffering would write a line that still ends
    // in its LF in two).
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    const bool stoppable = StopSignal::install();
    if (!stoppable) {
        DSP_LOG(WRN, "dspd", "main", "cannot take stop signals: they end the process at once\n");
    }
    // A reader of the echo or the log that has gone must not end the server:
    // the write fails with EPIPE instead.
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    if (sigemptyset(&ignore.sa_mask) != 0 || sigaction(SIGPIPE, &ignore, nullptr) != 0) {
        DSP_LOG(WRN, "dspd", "main", "cannot ignore SIGPIPE\n");
    }

    Command root;
    UartWorkerCallBackImpl callback(&root, ServiceManager::isJournal(STDOUT_FILENO));
    root.add(new AudioCommand());
    const int port = portFromArguments(argc, argv);

    // The worker's waits end on a stop request. Static: a worker left behind
    // at exit may still be using it.
    static PosixPortIo io(StopSignal::wakeFd());
    UartWorker* worker = new UartWorker(&callback, port, kBaudrate, kDataBits, kStopBits, kParity,
                                        &StopSignal::flag(), &io);
    // This is where the main thread spends the run.
    if (!stoppable) {
        delete worker;
    } else if (!waitForWorker(worker)) {
        // The log line must not be what blocks the exit in turn.
        if (writable(STDERR_FILENO)) {
            DSP_LOG(ERR, "dspd", "main", "worker did not stop in %d ms, leaving without it\n",
                    kStopGraceMs);
        }
        std::_Exit(0);
    }
    return 0;
}
