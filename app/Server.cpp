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

}  // namespace

int serverMain(int argc, char** argv) {
    // Fully buffered: the callback flushes each echo as one write when its
    // line is dispatched (line buffering would write a line that still ends
    // in its LF in two).
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    const bool stoppable = StopSignal::install();
    if (!stoppable) {
        DSP_LOG(WRN, "dspd", "main", "cannot install stop signal handlers\n");
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

    UartWorker* worker = new UartWorker(&callback, port, kBaudrate, kDataBits, kStopBits, kParity,
                                        &StopSignal::flag());
    // Stop signals now go to the worker thread, whose blocking read they
    // interrupt, so it sees the request at once.
    if (!StopSignal::blockInThisThread()) {
        DSP_LOG(WRN, "dspd", "main", "cannot route stop signals to the worker\n");
    }
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
