// An in-memory PortIo for the serial worker's tests: reads come from a
// script the test fills, writes are kept and can be made to fail or to take
// only part of what is offered, and every call is recorded.
//
// With nothing scripted a read waits briefly (as a silent line would) and
// returns 0; a wait is recorded and returns as soon as a read is scripted.
// close() also closes the real descriptor, which the worker opened on a real
// terminal. Thread-safe: the worker thread calls in while the test scripts.
#ifndef TESTS_SUPPORT_FAKE_PORT_IO_H
#define TESTS_SUPPORT_FAKE_PORT_IO_H

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "PortIo.h"

class FakePortIo : public PortIo {
public:
    // One scripted result: `accept` bytes taken (a read hands over `bytes`),
    // or -1 with `error`.
    struct Step {
        std::string bytes;
        int accept = 0;
        int error = 0;
    };
    static Step bytes(const std::string& data) { return {data, 0, 0}; }
    static Step takes(int count) { return {std::string(), count, 0}; }
    static Step fails(int error) { return {std::string(), 0, error}; }

    void pushRead(const Step& step);
    void pushWrite(const Step& step);
    // While set, every read fails at once with `error` (0: returns 0), as on
    // a port whose peer has gone, and every write fails with EIO. Scripted
    // reads are held back until it is cleared.
    void setPeerGone(bool gone, int error = 0);

    std::string written() const;           // every byte the writes took
    std::vector<int> waits() const;        // the timeout of each wait, in order
    std::vector<std::string> log() const;  // "read 5", "write 7 -> EINTR", "close"...
    int closes() const;
    // Waits until `done` holds or 5 s have passed; `done` may use the
    // accessors above.
    bool waitUntil(const std::function<bool(const FakePortIo&)>& done);

    ssize_t read(int fd, void* buffer, size_t size) override;
    ssize_t write(int fd, const void* data, size_t size) override;
    int close(int fd) override;
    bool waitReadable(int fd, int timeoutMs) override;

private:
    void note(std::string entry);

    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::deque<Step> mReads;
    std::deque<Step> mWrites;
    bool mPeerGone = false;
    int mGoneError = 0;
    std::string mWritten;
    std::vector<int> mWaits;
    std::vector<std::string> mLog;
    int mCloses = 0;
};

#endif  // TESTS_SUPPORT_FAKE_PORT_IO_H
