// The serial worker on a pseudo-terminal, without the command tree.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "PseudoTerminal.h"
#include "SimService.h"
#include "UartWorker.h"

namespace {

// Answers every line with "[ok]" and records what it was given.
class RecordingCallback : public UartWorkerCallBack {
public:
    int onCommand(char* line, int len, char* out, int outlen) override {
        std::lock_guard<std::mutex> lock(mMutex);
        lines.emplace_back(line, static_cast<size_t>(len));
        EXPECT_EQ(UartWorker::kBufferSize, outlen);
        std::copy_n("[ok]", 5, out);
        return 5;
    }
    int setNotify(NotifyFunc fn, void* ctx) override {
        std::lock_guard<std::mutex> lock(mMutex);
        sink = fn;
        sinkCtx = ctx;
        mReady.notify_all();
        return 0;
    }
    bool waitReady() {
        std::unique_lock<std::mutex> lock(mMutex);
        return mReady.wait_for(lock, std::chrono::seconds(5), [&] { return sink != nullptr; });
    }

    std::vector<std::string> lines;
    NotifyFunc sink = nullptr;
    void* sinkCtx = nullptr;

private:
    std::mutex mMutex;
    std::condition_variable mReady;
};

std::string readMaster(int fd, size_t n) {
    std::string data;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) {
            continue;
        }
        const ssize_t got = read(fd, buffer, std::min(sizeof buffer, n - data.size()));
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

class UartWorkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ASSERT_EQ(0, setenv("DSPD_SERIAL_PREFIX", pty.directory().c_str(), 1));
    }
    void TearDown() override { unsetenv("DSPD_SERIAL_PREFIX"); }

    // Asks a running worker to stop and waits for it.
    void stop(UartWorker* worker) {
        stopFlag = true;
        // Wake the read at once rather than after its two-second timeout.
        ASSERT_EQ(1, write(pty.master(), "\n", 1));
        delete worker;
    }

    PseudoTerminal pty;
    std::atomic<bool> stopFlag{false};
    audiosim::LogCapture log;
};

TEST_F(UartWorkerTest, RefusedLineSettingsCloseThePortBeforeAnyRead) {
    const struct {
        int databits;
        int stopbits;
        int parity;
        int baudrate;
        const char* error;  // nullptr: no ERR line at all
    } cases[] = {
        {9, 1, 'n', 115200, "ERR: bad databits(9)\n"},
        {4, 1, 'n', 115200, "ERR: bad databits(4)\n"},
        {8, 3, 'n', 115200, "ERR: bad stopbits(3)\n"},
        {8, 1, 'x', 115200, "ERR: bad parity(120)\n"},
        {8, 1, 'n', 250000, nullptr},
    };
    for (const auto& c : cases) {
        log.clear();
        RecordingCallback callback;
        delete new UartWorker(&callback, pty.number(), c.baudrate, c.databits, c.stopbits, c.parity,
                              &stopFlag);
        EXPECT_EQ(nullptr, callback.sink) << c.baudrate;
        EXPECT_TRUE(log.contains("INF: open " + pty.path() + "\n"));
        EXPECT_FALSE(log.contains("port ready"));
        if (c.error != nullptr) {
            EXPECT_TRUE(log.contains(c.error)) << c.error;
        } else {
            EXPECT_FALSE(log.contains("ERR")) << c.baudrate;
        }
    }
}

TEST_F(UartWorkerTest, RawModeOverridesParityAndDataBitsButKeepsStopBits) {
    RecordingCallback callback;
    UartWorker* worker = new UartWorker(&callback, pty.number(), 9600, 7, 2, 'E', &stopFlag);
    ASSERT_TRUE(callback.waitReady());
    struct termios options;
    ASSERT_EQ(0, tcgetattr(pty.slave(), &options));
    EXPECT_EQ(static_cast<tcflag_t>(CS8), options.c_cflag & CSIZE);
    EXPECT_EQ(0u, options.c_cflag & PARENB);
    EXPECT_NE(0u, options.c_cflag & CSTOPB);
    EXPECT_EQ(20, options.c_cc[VTIME]);
    EXPECT_EQ(0, options.c_cc[VMIN]);
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetospeed(&options));
    EXPECT_EQ(static_cast<speed_t>(B9600), cfgetispeed(&options));
    stop(worker);
}

TEST_F(UartWorkerTest, LinesGoToTheCallbackAndRepliesToThePort) {
    RecordingCallback callback;
    UartWorker* worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag);
    ASSERT_TRUE(callback.waitReady());
    EXPECT_EQ(worker, callback.sinkCtx);
    EXPECT_EQ(&UartWorker::notify, callback.sink);
    ASSERT_EQ(8, write(pty.master(), "a\r\nb\nc\n\n", 8));
    EXPECT_EQ(std::string("[ok]\0[ok]\0[ok]\0", 15), readMaster(pty.master(), 15));
    stop(worker);
    EXPECT_EQ((std::vector<std::string>{"a\r", "b\n", "c\n"}), callback.lines);
    EXPECT_TRUE(log.contains("INF: port ready\n"));
}

TEST_F(UartWorkerTest, NotifyWritesEveryByteAndLogsTheCount) {
    RecordingCallback callback;
    UartWorker* worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag);
    ASSERT_TRUE(callback.waitReady());
    std::string frame(2564, '\0');
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<char>(i * 7);
    }
    callback.sink(callback.sinkCtx, reinterpret_cast<unsigned char*>(&frame[0]), 2564);
    EXPECT_EQ(frame, readMaster(pty.master(), frame.size()));
    EXPECT_TRUE(log.contains("INF: len:2564, fd:"));
    callback.sink(callback.sinkCtx, nullptr, 0);
    EXPECT_TRUE(log.contains("INF: len:0, fd:"));
    stop(worker);
}

TEST_F(UartWorkerTest, ExitRequestEndsTheRunAndClosesThePort) {
    RecordingCallback callback;
    UartWorker* worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag);
    ASSERT_TRUE(callback.waitReady());
    // The worker's own exit request, as the stop flag would make it.
    worker->requestExit();
    ASSERT_EQ(1, write(pty.master(), "\n", 1));
    delete worker;
    EXPECT_TRUE(callback.lines.empty());
}

TEST(UartWorkerDeathTest, NullCallbackEndsTheProcess) {
    // The default style forks without exec, so it also runs under an
    // emulator that cannot start a second program.
    EXPECT_EXIT(new UartWorker(nullptr, 1, 115200, 8, 1, 'n'), ::testing::ExitedWithCode(255),
                "BUG: NULL != mCbk");
}

}  // namespace
