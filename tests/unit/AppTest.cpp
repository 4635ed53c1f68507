// The entry point's pieces: the port argument, the device path, the callback.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "PortArgument.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

TEST(PortArgumentTest, OneArgumentIsReadAsADecimalNumber) {
    const struct {
        std::vector<std::string> args;
        int port;
    } cases[] = {
        {{}, 1},
        {{"3"}, 3},
        {{"2.9"}, 2},
        {{"-2.5"}, -2},
        {{"abc"}, 0},
        {{"3", "4"}, 1},
        {{"1e1"}, 10},
        {{"1e30"}, 0},  // outside the int range
        {{"-1e30"}, 0},
        {{"nan"}, 0},
        {{"2147483647"}, 2147483647},
        {{"2147483648"}, 0},
    };
    for (auto c : cases) {
        std::vector<char*> argv = {const_cast<char*>("dspd")};
        for (std::string& arg : c.args) {
            argv.push_back(&arg[0]);
        }
        argv.push_back(nullptr);
        EXPECT_EQ(c.port, portFromArguments(static_cast<int>(argv.size() - 1), argv.data()))
            << (c.args.empty() ? "(none)" : c.args[0]);
    }
}

TEST(DevicePathTest, PrefixIsPlainTextBeforeThePortNumber) {
    {
        ScopedEnv unset("DSPD_SERIAL_PREFIX", nullptr);
        EXPECT_EQ("/dev/ttyS1", UartWorker::devicePath(1));
    }
    ScopedEnv prefix("DSPD_SERIAL_PREFIX", "/tmp/%s%n/port");
    EXPECT_EQ("/tmp/%s%n/port12", UartWorker::devicePath(12));
}

TEST(CallBackTest, WithoutARootNothingIsDispatched) {
    UartWorkerCallBackImpl callback(nullptr);
    char line[] = "dsp status\n";
    char out[16] = {};
    EXPECT_EQ(-1, callback.onCommand(line, 11, out, sizeof out));
    EXPECT_EQ(-1, callback.setNotify(nullptr, nullptr));
}

}  // namespace
