// What the serial worker's tests share: an in-memory port and callback, and
// a fixture that runs a worker on a pseudo-terminal.
#ifndef TESTS_SUPPORT_FAKE_PORT_IO_H
#define TESTS_SUPPORT_FAKE_PORT_IO_H

#include <errno.h>
#include <gtest/gtest.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "PortIo.h"
#include "PseudoTerminal.h"
#include "UartWorker.h"

// The worker's outside world in memory. Reads follow a script (a read waits
// until one is scripted, 5 s at most); writes take what is scripted, all by
// default; a wait for room finds none; close() also closes the real
// descriptor. Each line is answered "re:<line without terminator>\0". Every
// call is logged as "<call> <result>", a failure as the negated errno:
// "read 5", "read -4", "wait 10" (its timeout), "room 250", "write 3",
// "line 8192" (the reply capacity), "sink 0", "close 0". Thread-safe: the
// worker thread calls in while the test scripts and looks.
class FakePortIo : public PortIo, public UartWorkerCallBack {
public:
    // The next read brings `bytes` (none: a read that brought nothing) or,
    // with an `error`, fails with it.
    void pushRead(const std::string& bytes, int error = 0) {
        std::lock_guard<std::mutex> lock(mMutex);
        mReads.emplace_back(bytes, error);
        mChanged.notify_all();
    }
    // The results of the next writes, one each: the most bytes it takes, or
    // -errno for a failure.
    void pushWrites(const std::vector<int>& results) {
        std::lock_guard<std::mutex> lock(mMutex);
        mWrites.insert(mWrites.end(), results.begin(), results.end());
    }

    std::string written() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mWritten;
    }
    std::vector<std::string> calls() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mCalls;
    }
    // Wait until the writes have taken `count` bytes in all, or until the
    // worker has handed over its reply sink (its port is set): 5 s at most.
    bool waitWritten(size_t count) const {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, kLimit, [&] { return mWritten.size() >= count; });
    }
    bool waitReady() const {
        std::unique_lock<std::mutex> lock(mMutex);
        return mChanged.wait_for(lock, kLimit, [&] { return sink != nullptr; });
    }

    ssize_t read(int /*fd*/, void* buffer, size_t size) override {
        std::unique_lock<std::mutex> lock(mMutex);
        if (!mChanged.wait_for(lock, kLimit, [&] { return !mReads.empty(); })) {
            return note("read", 0);
        }
        const std::pair<std::string, int> step = mReads.front();
        mReads.pop_front();
        if (step.second != 0) {
            return note("read", -step.second);
        }
        // Whole: what a test scripts fits the worker's buffer.
        const size_t n = std::min(size, step.first.size());
        memcpy(buffer, step.first.data(), n);
        return note("read", static_cast<ssize_t>(n));
    }
    ssize_t write(int /*fd*/, const void* data, size_t size) override {
        std::lock_guard<std::mutex> lock(mMutex);
        ssize_t result = static_cast<ssize_t>(size);
        if (!mWrites.empty()) {
            result = std::min(result, static_cast<ssize_t>(mWrites.front()));
            mWrites.pop_front();
        }
        if (result > 0) {
            mWritten.append(static_cast<const char*>(data), static_cast<size_t>(result));
        }
        return note("write", result);
    }
    int close(int fd) override {
        std::lock_guard<std::mutex> lock(mMutex);
        return static_cast<int>(note("close", ::close(fd)));
    }
    bool waitReadable(int /*fd*/, int timeoutMs) override {
        std::lock_guard<std::mutex> lock(mMutex);
        note("wait", timeoutMs);
        return !mReads.empty();
    }
    bool waitWritable(int /*fd*/, int timeoutMs) override {
        std::lock_guard<std::mutex> lock(mMutex);
        note("room", timeoutMs);
        return false;
    }
    int onCommand(char* line, int len, char* out, int outlen) override {
        const std::string reply = "re:" + std::string(line, static_cast<size_t>(len - 1)) + '\0';
        std::lock_guard<std::mutex> lock(mMutex);
        note("line", outlen);
        return static_cast<int>(reply.copy(out, static_cast<size_t>(outlen)));
    }
    int setNotify(NotifyFunc fn, void*) override {
        std::lock_guard<std::mutex> lock(mMutex);
        sink = fn;
        return static_cast<int>(note("sink", 0));
    }

    NotifyFunc sink = nullptr;  // set once, before waitReady() returns

private:
    static constexpr auto kLimit = std::chrono::seconds(5);
    // Logs `call result` and returns the result, or -1 with errno set for a
    // negative one. The caller holds mMutex.
    ssize_t note(const char* call, ssize_t result) {
        mCalls.push_back(std::string(call) + " " + std::to_string(result));
        mChanged.notify_all();
        if (result >= 0) {
            return result;
        }
        errno = static_cast<int>(-result);
        return -1;
    }

    mutable std::mutex mMutex;
    mutable std::condition_variable mChanged;
    std::deque<std::pair<std::string, int>> mReads;
    std::deque<int> mWrites;
    std::string mWritten;
    std::vector<std::string> mCalls;
};
// A worker on a fresh pseudo-terminal (DSPD_SERIAL_PREFIX names its
// directory), answered by `fake`, with the log captured.
class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.ok()); }
    // Starts a worker on the terminal with the given line settings.
    UartWorker* start(PortIo* io = nullptr, int baudrate = 115200, int databits = 8,
                      int stopbits = 1, int parity = 'n') {
        return new UartWorker(&fake, pty.number(), baudrate, databits, stopbits, parity, &stopFlag,
                              io);
    }
    // Raises the stop flag, wakes the read at once (on the terminal or in
    // the fake) and waits for the worker.
    void stop(UartWorker* worker) {
        stopFlag = true;
        fake.pushRead("");
        EXPECT_EQ(1, write(pty.master(), "\n", 1));
        delete worker;
    }

    audiosim::LogCapture log;
    PseudoTerminal pty;
    ScopedEnv prefix{"DSPD_SERIAL_PREFIX", pty.directory().c_str()};
    std::atomic<bool> stopFlag{false};
    FakePortIo fake;
};

#endif  // TESTS_SUPPORT_FAKE_PORT_IO_H
