// The serial worker on a pseudo-terminal, without the command tree.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>

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
        EXPECT_EQ(nullptr, callback.sink()) << c.baudrate;
        EXPECT_TRUE(log.contains("INF: open " + pty.path() + "\n"));
        EXPECT_FALSE(log.contains("port ready"));
        EXPECT_EQ(c.error != nullptr, log.contains("ERR")) << c.baudrate;
        EXPECT_TRUE(c.error == nullptr || log.contains(c.error)) << c.error;
    }
}

TEST_F(WorkerTest, RawModeOverridesParityAndDataBitsButKeepsStopBits) {
    UartWorker* worker = start(nullptr, 9600, 7, 2, 'E');
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

TEST_F(WorkerTest, NotifyWritesEveryByteAndLogsTheCount) {
    UartWorker* worker = start();
    ASSERT_TRUE(callback.waitReady());
    std::string frame(2564, '\0');
    for (size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<char>(i * 7);
    }
    EXPECT_EQ(worker, callback.sinkCtx());
    callback.send(frame);
    EXPECT_EQ(frame, readFor(pty.master(), frame.size()));
    EXPECT_TRUE(log.contains("INF: len:2564, fd:"));
    callback.sink()(callback.sinkCtx(), nullptr, 0);
    EXPECT_TRUE(log.contains("INF: len:0, fd:"));
    stop(worker);
}

TEST(UartWorkerDeathTest, NullCallbackEndsTheProcess) {
    // The default style forks without exec, so it also runs under an
    // emulator that cannot start a second program.
    EXPECT_EXIT(new UartWorker(nullptr, 1, 115200, 8, 1, 'n'), ::testing::ExitedWithCode(255),
                "BUG: NULL != mCbk");
}

}  // namespace
