// SIGTERM and SIGINT as a stop request for the serial worker.
//
// The signals are taken synchronously, through a signalfd, by the thread
// that waits in waitForWake() (the main thread), never by a handler: a
// handler runs in whichever thread the signal lands on, and a wait elsewhere
// could miss it. That thread then sets flag() and makes wakeFd() readable,
// which every wait of the worker polls beside its port.
#ifndef APP_STOP_SIGNAL_H
#define APP_STOP_SIGNAL_H

#include <atomic>

class StopSignal {
public:
    // Blocks SIGTERM and SIGINT in the calling thread, and so in every thread
    // it starts afterwards, and opens the descriptors the waits use. Call it
    // before any thread starts. Returns false (errno set) if the mask or a
    // descriptor cannot be set up. The descriptors live as long as the
    // process.
    static bool install();

    // Readable from the first stop request on, for good (the byte is never
    // taken), so a wait that polls it cannot miss a request that came just
    // before it began. -1 before install().
    static int wakeFd();

    // True once waitForWake() has taken a SIGTERM or SIGINT.
    static const std::atomic<bool>& flag();

    // Ends a waitForWake(), or the next one if none is waiting. Any thread.
    static void wake();

    // Waits up to `timeoutMs` (negative: without limit) for a stop signal or
    // a wake(). A stop signal sets flag() and makes wakeFd() readable before
    // the wait returns. For one waiting thread; install() must have
    // succeeded.
    static void waitForWake(int timeoutMs);
};

#endif  // APP_STOP_SIGNAL_H
