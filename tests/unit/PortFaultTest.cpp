// Faults between the serial worker and its line, injected through the port
// I/O seam: partial, interrupted and blocked writes, failed writes, a peer
// that stops reading, and a peer that goes away and comes back. The port is
// opened on a real pseudo-terminal; its reads, writes, waits and close go to
// the fake.
#include <errno.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakePortIo.h"
#include "ReadBackoff.h"
#include "UartWorker.h"

namespace {

// The reply to a line: "re:", the line without its terminator, a NUL.
std::string re(const std::string& text) { return "re:" + text + std::string(1, '\0'); }

// The worker's reads, writes, waits and close go to the fake. (A write
// blocked when a stop comes is checked end to end.)
class PortFaultTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        callback.answer = [](const std::string& line) {
            return re(line.substr(0, line.size() - 1));
        };
        worker = start(&io);
        ASSERT_TRUE(callback.waitReady());
    }
    void TearDown() override {
        stopFlag = true;
        delete worker;
        EXPECT_EQ(1, io.seen().closes);
    }

    // Scripts `line` as one read and waits until the writes have taken
    // `bytes` bytes in all.
    bool exchange(const std::string& line, size_t bytes) {
        io.pushRead(FakePortIo::bytes(line));
        return io.waitUntil([&](const FakePortIo& f) { return f.seen().written.size() >= bytes; });
    }

    FakePortIo io;
    UartWorker* worker = nullptr;
};

TEST_F(PortFaultTest, RepliesSurvivePartialInterruptedAndBlockedWritesOrAreAbandoned) {
    using Io = FakePortIo;
    const std::vector<FakePortIo::Step> stalled(41, Io::fails(EAGAIN));
    const struct {
        const char* label;
        std::vector<FakePortIo::Step> writes;
        std::string line;
        size_t sent;        // bytes of the reply that reach the port
        const char* error;  // the ERR line expected, or ""
        size_t writeWaits;  // waits for room
    } cases[] = {
        {"partial", {Io::takes(2), Io::takes(1), Io::takes(3)}, "abcdef\n", 10, "", 0},
        {"EINTR", {Io::fails(EINTR), Io::takes(4), Io::fails(EINTR)}, "ghijk\r", 9, "", 2},
        {"full, then read", {Io::takes(1), Io::fails(EAGAIN), Io::fails(EAGAIN)}, "q\n", 5, "", 2},
        {"EIO after a part", {Io::takes(2), Io::fails(EIO)}, "lmn\n", 2, "write failed", 0},
        {"nothing taken", {Io::takes(0)}, "op\n", 0, "write failed", 0},
        // The waits add up to the stall limit without a byte taken.
        {"stalled", stalled, "rs\n", 0, "reply abandoned (peer not reading): 6 of 6 bytes not sent",
         UartWorker::kStallLimitMs / UartWorker::kWriteWaitMs},
    };
    std::string expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        log.clear();
        for (const FakePortIo::Step& step : c.writes) {
            io.pushWrite(step);
        }
        const size_t callsBefore = io.seen().log.size();
        expected += re(c.line.substr(0, c.line.size() - 1)).substr(0, c.sent);
        // A line answered in full afterwards shows the worker carried on.
        ASSERT_TRUE(exchange(c.line + "next\n", expected.size() + re("next").size()));
        expected += re("next");
        EXPECT_EQ(expected, io.seen().written);
        EXPECT_EQ(UartWorker::kBufferSize, callback.outlen());
        EXPECT_EQ(*c.error != 0, log.contains("ERR"));
        EXPECT_EQ(*c.error != 0, log.contains(std::string("ERR: ") + c.error + "\n"));
        const std::vector<std::string> calls = io.seen().log;
        EXPECT_EQ(c.writeWaits, static_cast<size_t>(std::count(
                                    calls.begin() + static_cast<long>(callsBefore), calls.end(),
                                    "wait for write " + std::to_string(UartWorker::kWriteWaitMs))));
    }
}

TEST_F(PortFaultTest, InterruptedReadIsRetriedWithoutWaiting) {
    io.pushRead(FakePortIo::fails(EINTR));
    ASSERT_TRUE(exchange("a\n", re("a").size()));
    const std::vector<std::string> calls = io.seen().log;
    const auto it = std::find(calls.begin(), calls.end(), "read -> EINTR");
    ASSERT_TRUE(it != calls.end() && it + 1 != calls.end());
    EXPECT_EQ("read 2", *(it + 1));
}

TEST_F(PortFaultTest, PeerThatGoesAwayIsWaitedForLongerEachTimeAndPickedUpWhenBack) {
    const std::vector<int> kBackoff = {10, 20, 40, 80, 160, 320, 640, 1000, 1000};
    for (int error : {0, EIO}) {
        SCOPED_TRACE(error);
        ASSERT_TRUE(exchange("x\n", io.seen().written.size() + re("x").size()));
        const size_t waitsBefore = io.seen().waits.size();
        io.setPeerGone(true, error);
        ASSERT_TRUE(io.waitUntil([&](const FakePortIo& f) {
            return f.seen().waits.size() >= waitsBefore + kBackoff.size();
        }));
        io.setPeerGone(false);
        const std::vector<int> waits = io.seen().waits;
        EXPECT_EQ(kBackoff, std::vector<int>(waits.begin() + static_cast<long>(waitsBefore),
                                             waits.begin() + static_cast<long>(waitsBefore) +
                                                 static_cast<long>(kBackoff.size())));
        // Every failed read is followed by a wait: the worker never spins.
        const std::vector<std::string> calls = io.seen().log;
        for (size_t i = 0; i + 1 < calls.size(); ++i) {
            if (calls[i].compare(0, 7, "read ->") == 0) {
                EXPECT_EQ(0u, calls[i + 1].compare(0, 5, "wait ")) << i << " " << calls[i + 1];
            }
        }
        // The peer is back: its line is answered and the next empty read waits
        // the shortest time again.
        const size_t answered = io.seen().written.size();
        ASSERT_TRUE(exchange("back\n", answered + re("back").size()));
        EXPECT_EQ(re("back"), io.seen().written.substr(answered));
        const size_t waitsAfter = io.seen().waits.size();
        ASSERT_TRUE(
            io.waitUntil([&](const FakePortIo& f) { return f.seen().waits.size() > waitsAfter; }));
        EXPECT_EQ(ReadBackoff::kFirstMs, io.seen().waits[waitsAfter]);
    }
}

}  // namespace
