#include "StopRequest.h"

#include <signal.h>

#include <cstring>
#include <initializer_list>

namespace {

volatile sig_atomic_t gRequested = 0;
volatile sig_atomic_t gInterrupted = 0;
volatile sig_atomic_t gSigintInterrupts = 0;

void onSignal(int sig) {
    if (sig == SIGINT && gSigintInterrupts != 0) {
        gInterrupted = 1;
    } else {
        gRequested = 1;
    }
}

}  // namespace

bool StopRequest::install(bool sigintInterrupts) {
    gSigintInterrupts = sigintInterrupts ? 1 : 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: blocked reads must return
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigaction(sig, &action, nullptr) != 0) {
            return false;
        }
    }
    return true;
}

bool StopRequest::requested() { return gRequested != 0; }

bool StopRequest::takeInterrupt() {
    const bool interrupted = gInterrupted != 0;
    gInterrupted = 0;
    return interrupted;
}
