#include "StopSignal.h"

#include <errno.h>
#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

namespace {

std::atomic<bool> gStopRequested(false);
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Posted by the handlers and by whoever else wakes the waiting thread.
sem_t gWake;
// Read end, write end; non-blocking, so the handler never waits on it.
int gWakePipe[2] = {-1, -1};

void onStopSignal(int) {
    gStopRequested.store(true);
    const int saved = errno;
    const char byte = 1;
    if (write(gWakePipe[1], &byte, 1) < 0) {
        // Full: an earlier signal has made it readable already.
    }
    errno = saved;
    StopSignal::wake();
}

}  // namespace

bool StopSignal::install() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    action.sa_flags = 0;  // no SA_RESTART
    if (sigemptyset(&action.sa_mask) != 0 || sem_init(&gWake, 0, 0) != 0) {
        return false;
    }
    if (gWakePipe[0] < 0 && pipe2(gWakePipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        return false;
    }
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

int StopSignal::wakeFd() { return gWakePipe[0]; }

const std::atomic<bool>& StopSignal::flag() { return gStopRequested; }

void StopSignal::wake() {
    const int saved = errno;  // a handler must leave errno as it found it
    (void)sem_post(&gWake);
    errno = saved;
}

void StopSignal::waitForWake(int timeoutMs) {
    if (timeoutMs < 0) {
        while (sem_wait(&gWake) != 0 && errno == EINTR) {
        }
        return;
    }
    struct timespec until;
    if (clock_gettime(CLOCK_REALTIME, &until) != 0) {
        return;
    }
    until.tv_sec += timeoutMs / 1000;
    until.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (sem_timedwait(&gWake, &until) != 0 && errno == EINTR) {
    }
}
