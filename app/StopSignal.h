// SIGTERM and SIGINT as a stop request for the serial worker.
#ifndef APP_STOP_SIGNAL_H
#define APP_STOP_SIGNAL_H

#include <atomic>

class StopSignal {
public:
    // Installs handlers for SIGTERM and SIGINT that set flag() and wake().
    // They do not restart interrupted calls, so a blocked read returns at
    // once. Returns false (errno set) if a handler cannot be installed.
    static bool install();

    // Blocks SIGTERM and SIGINT in the calling thread, so they are delivered
    // to a thread that has them unblocked (the worker, whose read they cut
    // short). Returns false if the mask cannot be changed.
    static bool blockInThisThread();

    // True once SIGTERM or SIGINT has arrived.
    static const std::atomic<bool>& flag();

    // Wakes a waitForWake(); the handlers call it after setting flag().
    // Async-signal-safe.
    static void wake();

    // Waits for a wake(), up to `timeoutMs` (negative: without limit). For
    // one waiting thread; install() must have succeeded.
    static void waitForWake(int timeoutMs);
};

#endif  // APP_STOP_SIGNAL_H
