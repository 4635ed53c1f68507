// The serial worker without the command tree: its line settings and reply
// sink on a pseudo-terminal, and the faults between it and its line, put
// there through the port I/O seam (the port is opened on the terminal; its
// reads, writes, waits and close go to the fake).
#include <errno.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakePortIo.h"
#include "UartWorker.h"

namespace {

TEST_F(WorkerTest, RefusedLineSettingsCloseThePortBeforeAnyRead) {
    const struct {
        int databits;
        int stopbits;
        int parity;
        int baudrate;
        const char* error;  // nullptr: no ERR line at all
    } cases[] = {
        {9, 1, 'n', 115200, "ERR: bad databits(9)\n"},
        {8, 3, 'n', 115200, "ERR: bad stopbits(3)\n"},
        {8, 1, 'x', 115200, "ERR: bad parity(120)\n"},
        {8, 1, 'n', 250000, nullptr},
    };
    for (const auto& c : cases) {
        log.clear();
        delete start(nullptr, c.baudrate, c.databits, c.stopbits, c.parity);
        EXPECT_TRUE(fake.calls().empty()) << c.baudrate;  // no sink: the port never got ready
        EXPECT_TRUE(log.contains("INF: open " + pty.path() + "\n"));
        EXPECT_EQ(c.error != nullptr, log.contains("ERR")) << c.baudrate;
        EXPECT_TRUE(c.error == nullptr || log.contains(c.error)) << c.error;
    }
}

// What the sink sends is checked in the wire tables (getmp).
TEST_F(WorkerTest, RawModeOverridesParityAndDataBitsButKeepsStopBitsAndASinkComes) {
    UartWorker* worker = start(nullptr, 9600, 7, 2, 'E');
    ASSERT_TRUE(fake.waitReady());
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

// The fake's answer to `line`.
std::string re(const std::string& line) { return "re:" + line.substr(0, line.size() - 1) + '\0'; }

// A worker whose port I/O is the fake. (A write blocked when a stop comes is
// checked end to end.)
class PortFaultTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        worker = start(&fake);
        ASSERT_TRUE(fake.waitReady());
    }
    void TearDown() override {
        stop(worker);
        const std::vector<std::string> calls = fake.calls();
        EXPECT_EQ(1, std::count(calls.begin(), calls.end(), "close 0"));
        EXPECT_FALSE(log.contains("WRN"));  // the close succeeded, so no warning
    }

    UartWorker* worker = nullptr;
};

TEST_F(PortFaultTest, RepliesSurvivePartialInterruptedAndBlockedWritesOrAreAbandoned) {
    const struct {
        const char* label;
        std::vector<int> writes;  // what each write takes, or -errno
        std::string line;
        size_t sent;        // bytes of the reply that reach the port
        const char* error;  // the ERR line expected, or ""
        long rooms;         // waits for room
    } cases[] = {
        {"partial", {2, 1, 3}, "abcdef\n", 10, "", 0},
        {"EINTR", {-EINTR, 4, -EINTR}, "ghijk\r", 9, "", 2},
        {"full, then read", {1, -EAGAIN, -EAGAIN}, "q\n", 5, "", 2},
        {"EIO after a part", {2, -EIO}, "lmn\n", 2, "write failed", 0},
        {"nothing taken", {0}, "op\n", 0, "write failed", 0},
        // The waits add up to the stall limit without a byte taken.
        {"stalled", std::vector<int>(41, -EAGAIN), "rs\n", 0,
         "reply abandoned (peer not reading): 6 of 6 bytes not sent",
         UartWorker::kStallLimitMs / UartWorker::kWriteWaitMs},
    };
    std::string expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        log.clear();
        fake.pushWrites(c.writes);
        const long callsBefore = static_cast<long>(fake.calls().size());
        expected += re(c.line).substr(0, c.sent);
        // A line answered in full afterwards shows the worker carried on.
        fake.pushRead(c.line + "next\n");
        ASSERT_TRUE(fake.waitWritten(expected.size() + re("next\n").size()));
        expected += re("next\n");
        EXPECT_EQ(expected, fake.written());
        EXPECT_EQ(*c.error != 0, log.contains("ERR"));
        EXPECT_EQ(*c.error != 0, log.contains(std::string("ERR: ") + c.error + "\n"));
        const std::vector<std::string> calls = fake.calls();
        EXPECT_EQ(c.rooms, std::count(calls.begin() + callsBefore, calls.end(),
                                      "room " + std::to_string(UartWorker::kWriteWaitMs)));
    }
}

// Reads that bring nothing, again and again, are what a peer that has gone
// leaves; a read that brings bytes again is the peer back.
TEST_F(PortFaultTest, EmptyReadsAreWaitedOutLongerEachTimeUntilBytesComeAgain) {
    for (int error : {0, EIO, EAGAIN, EINTR}) {
        SCOPED_TRACE(error);
        const long from = static_cast<long>(fake.calls().size());
        std::vector<std::string> expected;
        for (int wait : {10, 20, 40, 80, 160, 320, 640, 1000, 1000}) {
            fake.pushRead("", error);
            expected.push_back("read " + std::to_string(-error));
            // A line without input waits out its silence; an interrupted read
            // (the stop signal, most likely) is retried at once.
            if (error == EAGAIN) {
                expected.push_back("wait 2000");
            } else if (error != EINTR) {
                expected.push_back("wait " + std::to_string(wait));
            }
        }
        // The bytes start the waits over: the next round's first is 10 ms.
        const size_t answered = fake.written().size();
        fake.pushRead("back\n");
        ASSERT_TRUE(fake.waitWritten(answered + re("back\n").size()));
        expected.insert(expected.end(),
                        {"read 5", "line " + std::to_string(UartWorker::kBufferSize), "write 8"});
        const std::vector<std::string> calls = fake.calls();
        EXPECT_EQ(expected, std::vector<std::string>(calls.begin() + from, calls.end()));
    }
}

}  // namespace
