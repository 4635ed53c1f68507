#include "StopSignal.h"

#include <errno.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <time.h>

#include <cstring>

namespace {

std::atomic<bool> gStopRequested(false);
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

// Posted by the handlers and by whoever else wakes the waiting thread.
sem_t gWake;

void onStopSignal(int) {
    gStopRequested.store(true);
    StopSignal::wake();
}

bool stopSignals(sigset_t* set) {
    return sigemptyset(set) == 0 && sigaddset(set, SIGTERM) == 0 && sigaddset(set, SIGINT) == 0;
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
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

bool StopSignal::blockInThisThread() {
    sigset_t set;
    return stopSignals(&set) && pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

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
