// SIGTERM and SIGINT as a stop request for the serial worker.
#ifndef APP_STOP_SIGNAL_H
#define APP_STOP_SIGNAL_H

#include <atomic>

class StopSignal {
public:
    // Installs handlers for SIGTERM and SIGINT that set flag(), make
    // wakeFd() readable and wake(). They do not restart interrupted calls.
    // Any thread may take the signal: no thread blocks them, and a thread
    // that waits for them polls wakeFd() rather than relying on being the
    // one interrupted. Returns false (errno set) if a handler or the wake
    // pipe cannot be set up.
    static bool install();

    // Readable from the first stop signal on, for good (the byte is never
    // taken), so a wait that polls it cannot miss a signal that came just
    // before it began. -1 before install(). The pipe lives as long as the
    // process.
    static int wakeFd();

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
