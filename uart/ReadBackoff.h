// How long the serial worker waits after a read that brought nothing.
//
// A read returns nothing after the line's silence timeout, when a signal cut
// it short, or at once, again and again, when the peer has gone (a closed
// pseudo-terminal, a pulled cable). Waiting a fixed 10 ms then would wake the
// worker a hundred times a second for as long as the peer stays away. So the
// wait starts at kFirstMs and doubles with each further empty read, up to
// kLongestMs; the first read that brings bytes starts it over.
//
// Not thread-safe; the worker thread owns it.
#ifndef UART_READ_BACKOFF_H
#define UART_READ_BACKOFF_H

class ReadBackoff {
public:
    static constexpr int kFirstMs = 10;
    static constexpr int kLongestMs = 1000;

    // An empty read: returns the time to wait before the next read.
    int failed() {
        const int wait = mNextMs;
        mNextMs = mNextMs >= kLongestMs / 2 ? kLongestMs : mNextMs * 2;
        return wait;
    }

    // A read brought bytes: the next empty read waits kFirstMs again.
    void succeeded() { mNextMs = kFirstMs; }

private:
    int mNextMs = kFirstMs;
};

#endif  // UART_READ_BACKOFF_H
