// The entry point's pieces: the port argument, the device path, the callback.
#include <gtest/gtest.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "PortArgument.h"
#include "StopSignal.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

TEST(PortArgumentTest, OneArgumentIsReadAsADecimalNumber) {
    const struct {
        const char* arg;  // nullptr: none; "1e30" and "-1e30" lie outside the int range
        int port;
    } cases[] = {
        {nullptr, 1},     {"3", 3},   {"2.9", 2},  {"-2.5", -2}, {"abc", 0},
        {"1e1", 10},      {"nan", 0}, {"1e30", 0}, {"-1e30", 0}, {"2147483647", 2147483647},
        {"2147483648", 0}};
    for (const auto& c : cases) {
        char* argv[] = {const_cast<char*>("dspd"), const_cast<char*>(c.arg), nullptr};
        EXPECT_EQ(c.port, portFromArguments(c.arg != nullptr ? 2 : 1, argv))
            << (c.arg != nullptr ? c.arg : "(none)");
    }
    char* two[] = {const_cast<char*>("dspd"), const_cast<char*>("3"), const_cast<char*>("4"),
                   nullptr};
    EXPECT_EQ(1, portFromArguments(3, two));
}

TEST(DevicePathTest, PrefixIsPlainTextBeforeThePortNumber) {
    ScopedEnv prefix("DSPD_SERIAL_PREFIX", "/tmp/%s%n/port");
    EXPECT_EQ("/tmp/%s%n/port12", UartWorker::devicePath(12));
    ScopedEnv unset("DSPD_SERIAL_PREFIX", nullptr);
    EXPECT_EQ("/dev/ttyS1", UartWorker::devicePath(1));
}

TEST(CallBackTest, WithoutARootNothingIsDispatched) {
    UartWorkerCallBackImpl callback(nullptr);
    char line[] = "dsp status\n";
    char out[16] = {};
    EXPECT_EQ(-1, callback.onCommand(line, 11, out, sizeof out));
    EXPECT_EQ(-1, callback.setNotify(nullptr, nullptr));
}

// A wait ends at its limit when nothing wakes it; a wake or a stop signal
// that came before a wait without limit is not lost, and only the signal is
// a stop request, which leaves the worker's wake descriptor readable.
TEST(StopSignalTest, WaitsEndAtTheirLimitOrOnAWakeOrSignal) {
    sigset_t before;
    ASSERT_EQ(0, pthread_sigmask(SIG_SETMASK, nullptr, &before));
    ASSERT_TRUE(StopSignal::install());
    StopSignal::waitForWake(20);
    StopSignal::wake();
    StopSignal::waitForWake(-1);
    EXPECT_FALSE(StopSignal::flag());
    ASSERT_EQ(0, raise(SIGTERM));
    StopSignal::waitForWake(-1);
    EXPECT_TRUE(StopSignal::flag());
    struct pollfd pfd = {StopSignal::wakeFd(), POLLIN, 0};
    EXPECT_EQ(1, poll(&pfd, 1, 0));
    ASSERT_EQ(0, pthread_sigmask(SIG_SETMASK, &before, nullptr));
}

}  // namespace
