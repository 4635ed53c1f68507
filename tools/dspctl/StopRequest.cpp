#include "StopRequest.h"

#include <signal.h>

#include <cstring>
#include <initializer_list>

namespace {

volatile sig_atomic_t gRequested = 0;

void onSignal(int) { gRequested = 1; }

}  // namespace

bool StopRequest::install() {
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
