#include "StopSignal.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>

namespace {

std::atomic<bool> gStopRequested(false);
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onStopSignal(int) { gStopRequested.store(true); }

bool stopSignals(sigset_t* set) {
    return sigemptyset(set) == 0 && sigaddset(set, SIGTERM) == 0 && sigaddset(set, SIGINT) == 0;
}

}  // namespace

bool StopSignal::install() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStopSignal;
    action.sa_flags = 0;  // no SA_RESTART
    if (sigemptyset(&action.sa_mask) != 0) {
        return false;
    }
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

bool StopSignal::blockInThisThread() {
    sigset_t set;
    return stopSignals(&set) && pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

const std::atomic<bool>& StopSignal::flag() { return gStopRequested; }
