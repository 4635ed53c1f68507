// SIGTERM and SIGINT as a stop request for the serial worker.
#ifndef APP_STOP_SIGNAL_H
#define APP_STOP_SIGNAL_H

#include <atomic>

class StopSignal {
public:
    // Installs handlers for SIGTERM and SIGINT that set flag(). They do not
    // restart interrupted calls, so a blocked read returns at once. Returns
    // false (errno set) if a handler cannot be installed.
    static bool install();

    // Blocks SIGTERM and SIGINT in the calling thread, so they are delivered
    // to a thread that has them unblocked (the worker, whose read they cut
    // short). Returns false if the mask cannot be changed.
    static bool blockInThisThread();

    // True once SIGTERM or SIGINT has arrived.
    static const std::atomic<bool>& flag();
};

#endif  // APP_STOP_SIGNAL_H
