#include "StopSignal.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

std::atomic<bool> gStopRequested(false);
int gSignalFd = -1;
// Read end, write end; non-blocking, so no writer ever waits on them.
int gWakePipe[2] = {-1, -1};  // wake(): drained by each waitForWake()
int gStopPipe[2] = {-1, -1};  // wakeFd(): written once, never drained

bool stopSignals(sigset_t* set) {
    return sigemptyset(set) == 0 && sigaddset(set, SIGTERM) == 0 && sigaddset(set, SIGINT) == 0;
}

void writeByte(int fd) {
    const char byte = 1;
    if (write(fd, &byte, 1) < 0) {
        // Full: the reader has a byte to wake on already.
    }
}

void drain(int fd) {
    char bytes[64];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace

bool StopSignal::install() {
    sigset_t set;
    if (!stopSignals(&set) || pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) {
        return false;
    }
    if (gSignalFd < 0) {
        gSignalFd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    }
    if (gWakePipe[0] < 0 && pipe2(gWakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        gWakePipe[0] = -1;
    }
    if (gStopPipe[0] < 0 && pipe2(gStopPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        gStopPipe[0] = -1;
    }
    if (gSignalFd >= 0 && gWakePipe[0] >= 0 && gStopPipe[0] >= 0) {
        return true;
    }
    // Nobody would take them: let them end the process as they would have.
    const int saved = errno;
    (void)pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    errno = saved;
    return false;
}

int StopSignal::wakeFd() { return gStopPipe[0]; }

const std::atomic<bool>& StopSignal::flag() { return gStopRequested; }

void StopSignal::wake() { writeByte(gWakePipe[1]); }

void StopSignal::waitForWake(int timeoutMs) {
    struct pollfd pfds[2] = {{gSignalFd, POLLIN, 0}, {gWakePipe[0], POLLIN, 0}};
    if (poll(pfds, 2, timeoutMs) <= 0) {
        return;  // time out, or a signal of another kind
    }
    if (pfds[0].revents != 0) {
        struct signalfd_siginfo info;
        if (read(gSignalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            gStopRequested.store(true);
            writeByte(gStopPipe[1]);
        }
    }
    if (pfds[1].revents != 0) {
        drain(gWakePipe[0]);
    }
}
