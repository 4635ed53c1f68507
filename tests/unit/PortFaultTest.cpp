// Faults between the serial worker and its line, injected through the port
// I/O seam: partial and interrupted writes, failed writes, and a peer that
// goes away and comes back. The port is opened on a real pseudo-terminal; its
// reads, writes, waits and close go to the fake.
#include <errno.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "FakePortIo.h"
#include "PseudoTerminal.h"
#include "ReadBackoff.h"
#include "SimService.h"
#include "UartWorker.h"

namespace {

// Answers each line with "re:" and the line without its terminator, NUL
// included; the first line that begins with "stop" raises the stop flag
// before answering, as a stop signal arriving mid-command would.
class EchoCallback : public UartWorkerCallBack {
public:
    explicit EchoCallback(std::atomic<bool>* stopFlag) : mStopFlag(stopFlag) {}

    int onCommand(char* line, int len, char* out, int /*outlen*/) override {
        const std::string text(line, static_cast<size_t>(len - 1));
        if (text.compare(0, 4, "stop") == 0) {
            mStopFlag->store(true);
        }
        const std::string reply = "re:" + text + std::string(1, '\0');
        reply.copy(out, reply.size());
        std::lock_guard<std::mutex> lock(mMutex);
        mLines.push_back(text);
        return static_cast<int>(reply.size());
    }
    int setNotify(NotifyFunc fn, void* ctx) override {
        std::lock_guard<std::mutex> lock(mMutex);
        mSink = fn;
        mSinkCtx = ctx;
        return 0;
    }
    std::vector<std::string> lines() const {
        std::lock_guard<std::mutex> lock(mMutex);
        return mLines;
    }
    void send(const std::string& data) {
        NotifyFunc sink;
        void* ctx;
        {
            std::lock_guard<std::mutex> lock(mMutex);
            sink = mSink;
            ctx = mSinkCtx;
        }
        std::string copy = data;
        sink(ctx, reinterpret_cast<unsigned char*>(&copy[0]), static_cast<unsigned>(copy.size()));
    }

private:
    std::atomic<bool>* mStopFlag;
    mutable std::mutex mMutex;
    std::vector<std::string> mLines;
    NotifyFunc mSink = nullptr;
    void* mSinkCtx = nullptr;
};

std::string re(const std::string& text) { return "re:" + text + std::string(1, '\0'); }

class PortFaultTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.ok());
        ASSERT_EQ(0, setenv("DSPD_SERIAL_PREFIX", pty.directory().c_str(), 1));
        worker = new UartWorker(&callback, pty.number(), 115200, 8, 1, 'n', &stopFlag, &io);
        // The first read comes after the sink has been handed on.
        ASSERT_TRUE(io.waitUntil([](const FakePortIo& f) { return !f.log().empty(); }));
    }
    void TearDown() override {
        stopFlag = true;
        delete worker;
        EXPECT_EQ(1, io.closes());
        unsetenv("DSPD_SERIAL_PREFIX");
    }

    // Scripts `line` as one read and waits until the writes have taken
    // `bytes` bytes in all.
    bool exchange(const std::string& line, size_t bytes) {
        io.pushRead(FakePortIo::bytes(line));
        return io.waitUntil([&](const FakePortIo& f) { return f.written().size() >= bytes; });
    }

    audiosim::LogCapture log;
    PseudoTerminal pty;
    std::atomic<bool> stopFlag{false};
    EchoCallback callback{&stopFlag};
    FakePortIo io;
    UartWorker* worker = nullptr;
};

TEST_F(PortFaultTest, RepliesSurvivePartialAndInterruptedWrites) {
    const struct {
        const char* label;
        std::vector<FakePortIo::Step> writes;
        std::string line;
        size_t sent;       // bytes of the reply that reach the port
        bool writeFailed;  // ERR "write failed" expected
    } cases[] = {
        {"partial",
         {FakePortIo::takes(2), FakePortIo::takes(1), FakePortIo::takes(3)},
         "abcdef\n",
         10,
         false},
        {"EINTR",
         {FakePortIo::fails(EINTR), FakePortIo::takes(4), FakePortIo::fails(EINTR)},
         "ghijk\r",
         9,
         false},
        {"EIO after a part", {FakePortIo::takes(2), FakePortIo::fails(EIO)}, "lmn\n", 2, true},
        {"nothing taken", {FakePortIo::takes(0)}, "op\n", 0, true},
    };
    std::string expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        log.clear();
        for (const FakePortIo::Step& step : c.writes) {
            io.pushWrite(step);
        }
        expected += re(c.line.substr(0, c.line.size() - 1)).substr(0, c.sent);
        // A line answered in full afterwards shows the worker carried on.
        ASSERT_TRUE(exchange(c.line + "next\n", expected.size() + re("next").size()));
        expected += re("next");
        EXPECT_EQ(expected, io.written());
        EXPECT_EQ(c.writeFailed, log.contains("ERR: write failed\n"));
    }
}

TEST_F(PortFaultTest, NotifyResumesAfterPartialWritesAndCountsEveryByte) {
    std::string frame(2564, '\0');
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<char>(i * 13);
    }
    io.pushWrite(FakePortIo::takes(1000));
    io.pushWrite(FakePortIo::fails(EINTR));
    io.pushWrite(FakePortIo::takes(1000));
    callback.send(frame);
    EXPECT_EQ(frame, io.written());
    std::vector<std::string> writes;
    for (const std::string& entry : io.log()) {
        if (entry.compare(0, 6, "write ") == 0) {
            writes.push_back(entry);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"write 2564 -> 1000", "write 1564 -> EINTR",
                                        "write 1564 -> 1000", "write 564 -> 564"}),
              writes);
    EXPECT_TRUE(log.contains("INF: len:2564, fd:"));
}

TEST_F(PortFaultTest, InterruptedWriteGivesUpOnceAStopIsRequested) {
    io.pushWrite(FakePortIo::fails(EINTR));
    io.pushRead(FakePortIo::bytes("stop\n"));
    ASSERT_TRUE(io.waitUntil([](const FakePortIo& f) { return f.closes() == 1; }));
    EXPECT_EQ("", io.written());
    EXPECT_TRUE(log.contains("ERR: write failed\n"));
    EXPECT_EQ(std::vector<std::string>{"stop"}, callback.lines());
}

TEST_F(PortFaultTest, InterruptedReadIsRetriedWithoutWaiting) {
    io.pushRead(FakePortIo::fails(EINTR));
    ASSERT_TRUE(exchange("a\n", re("a").size()));
    const std::vector<std::string> calls = io.log();
    size_t i = 0;
    while (i < calls.size() && calls[i] != "read -> EINTR") {
        ++i;
    }
    ASSERT_LT(i + 1, calls.size());
    EXPECT_EQ("read 2", calls[i + 1]);
}

TEST_F(PortFaultTest, PeerThatGoesAwayIsWaitedForLongerEachTimeAndPickedUpWhenBack) {
    const std::vector<int> kBackoff = {10, 20, 40, 80, 160, 320, 640, 1000, 1000};
    for (int error : {0, EIO}) {
        SCOPED_TRACE(error);
        ASSERT_TRUE(exchange("x\n", io.written().size() + re("x").size()));
        const size_t waitsBefore = io.waits().size();
        io.setPeerGone(true, error);
        ASSERT_TRUE(io.waitUntil([&](const FakePortIo& f) {
            return f.waits().size() >= waitsBefore + kBackoff.size();
        }));
        io.setPeerGone(false);
        const std::vector<int> waits = io.waits();
        EXPECT_EQ(kBackoff, std::vector<int>(waits.begin() + static_cast<long>(waitsBefore),
                                             waits.begin() + static_cast<long>(waitsBefore) +
                                                 static_cast<long>(kBackoff.size())));
        // Every failed read is followed by a wait: the worker never spins.
        const std::vector<std::string> calls = io.log();
        for (size_t i = 0; i + 1 < calls.size(); ++i) {
            if (calls[i].compare(0, 7, "read ->") == 0) {
                EXPECT_EQ(0u, calls[i + 1].compare(0, 5, "wait ")) << i << " " << calls[i + 1];
            }
        }
        // The peer is back: its line is answered and the next empty read waits
        // the shortest time again.
        const size_t answered = io.written().size();
        ASSERT_TRUE(exchange("back\n", answered + re("back").size()));
        EXPECT_EQ(re("back"), io.written().substr(answered));
        const size_t waitsAfter = io.waits().size();
        ASSERT_TRUE(
            io.waitUntil([&](const FakePortIo& f) { return f.waits().size() > waitsAfter; }));
        EXPECT_EQ(ReadBackoff::kFirstMs, io.waits()[waitsAfter]);
    }
}

TEST(ReadBackoffTest, DoublesUpToTheLongestWaitAndStartsOverAfterBytes) {
    ReadBackoff backoff;
    std::vector<int> waits;
    for (int i = 0; i < 10; ++i) {
        waits.push_back(backoff.failed());
    }
    EXPECT_EQ((std::vector<int>{10, 20, 40, 80, 160, 320, 640, 1000, 1000, 1000}), waits);
    backoff.succeeded();
    EXPECT_EQ(10, backoff.failed());
    EXPECT_EQ(20, backoff.failed());
}

}  // namespace
