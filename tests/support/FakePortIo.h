// What the serial worker's tests share: an in-memory PortIo, a recording
// callback, and a fixture that runs a worker on a pseudo-terminal.
#ifndef TESTS_SUPPORT_FAKE_PORT_IO_H
#define TESTS_SUPPORT_FAKE_PORT_IO_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "PortIo.h"
#include "PseudoTerminal.h"
#include "UartWorker.h"

// Reads come from a script the test fills; writes are kept and can be made to
// fail or to take only part of what is offered; every call is logged. With
// nothing scripted a read waits briefly (as a silent line would) and returns
// 0; a wait returns as soon as a read is scripted. close() also closes the
// real descriptor, which the worker opened on a real terminal. Thread-safe:
// the worker thread calls in while the test scripts.
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

    void pushRead(const Step& step) {
        locked([&] { mReads.push_back(step); });
    }
    void pushWrite(const Step& step) {
        locked([&] { mWrites.push_back(step); });
    }
    // While set, every read fails at once with `error` (0: returns 0), as on
    // a port whose peer has gone, and every write fails with EIO. Scripted
    // reads are held back until it is cleared.
    void setPeerGone(bool gone, int error = 0) {
        locked([&] { mPeerGone = gone, mGoneError = error; });
    }

    // What the worker did: the bytes it wrote, the timeouts of its waits
    // for input, its calls ("read 5", "read -> EINTR", "write 7 -> 3",
    // "wait 10", "close"...) and how often it closed the port.
    struct Seen {
        std::string written;
        std::vector<int> waits;
        std::vector<std::string> log;
        int closes = 0;
    };
    Seen seen() const {
        return locked([&] { return mSeen; });
    }
    // Waits until `done` holds or 5 s have passed; `done` may call seen().
    bool waitUntil(const std::function<bool(const FakePortIo&)>& done);

    ssize_t read(int fd, void* buffer, size_t size) override;
    ssize_t write(int fd, const void* data, size_t size) override;
    int close(int fd) override;
    bool waitReadable(int fd, int timeoutMs) override;
    // Logs "wait for write N" and returns false at once, as a wait that
    // found no room; the next scripted write decides what follows.
    bool waitWritable(int fd, int timeoutMs) override;

private:
    template <typename F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard<std::mutex> lock(mMutex);
        mChanged.notify_all();
        return f();
    }
    ssize_t fail(const std::string& entry, int error);  // caller holds mMutex
    void note(std::string entry);                       // caller holds mMutex

    mutable std::mutex mMutex;
    mutable std::condition_variable mChanged;
    std::deque<Step> mReads;
    std::deque<Step> mWrites;
    bool mPeerGone = false;
    int mGoneError = 0;
    Seen mSeen;
};

// Answers each line it is given (terminator included) with `answer(line)`
// (by default "[ok]" and its NUL) and keeps the sink it is handed.
// `answer` is set before the worker starts; it runs on the worker thread.
class RecordingCallback : public UartWorkerCallBack {
public:
    std::function<std::string(const std::string& line)> answer;

    int onCommand(char* line, int len, char* out, int outlen) override;
    int setNotify(NotifyFunc fn, void* ctx) override;

    bool waitReady();  // until the sink has come, 5 s at most
    int outlen() const {
        return locked([&] { return mOutlen; });
    }  // of the last line
    NotifyFunc sink() const {
        return locked([&] { return mSink; });
    }
    void* sinkCtx() const {
        return locked([&] { return mSinkCtx; });
    }
    void send(std::string bytes) {  // through the sink
        sink()(sinkCtx(), reinterpret_cast<unsigned char*>(&bytes[0]),
               static_cast<unsigned int>(bytes.size()));
    }

private:
    template <typename F>
    auto locked(F f) const -> decltype(f()) {
        std::lock_guard<std::mutex> lock(mMutex);
        return f();
    }

    mutable std::mutex mMutex;
    std::condition_variable mReady;
    int mOutlen = 0;
    NotifyFunc mSink = nullptr;
    void* mSinkCtx = nullptr;
};

// A worker on a fresh pseudo-terminal (DSPD_SERIAL_PREFIX names its
// directory), answered by `callback`, with the log captured.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }
    // Starts a worker on the terminal with the given line settings.
    UartWorker* start(PortIo* io = nullptr, int baudrate = 115200, int databits = 8,
                      int stopbits = 1, int parity = 'n') {
        return new UartWorker(&callback, pty.number(), baudrate, databits, stopbits, parity,
                              &stopFlag, io);
    }
    // Raises the stop flag, wakes the read at once and waits for the worker.
    void stop(UartWorker* worker) {
        stopFlag = true;
        ASSERT_EQ(1, write(pty.master(), "\n", 1));
        delete worker;
    }

    audiosim::LogCapture log;
    PseudoTerminal pty;
    ScopedEnv prefix{"DSPD_SERIAL_PREFIX", pty.directory().c_str()};
    std::atomic<bool> stopFlag{false};
    RecordingCallback callback;
};

#endif  // TESTS_SUPPORT_FAKE_PORT_IO_H
