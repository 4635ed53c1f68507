// The entry point's pieces: the port argument, the device path, the callback.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "AudioCommand.h"
#include "Command.h"
#include "PortArgument.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

int portOf(std::vector<std::string> args) {
    std::vector<char*> argv;
    static char program[] = "dspd";
    argv.push_back(program);
    for (std::string& arg : args) {
        argv.push_back(&arg[0]);
    }
    argv.push_back(nullptr);
    return portFromArguments(static_cast<int>(argv.size() - 1), argv.data());
}

TEST(PortArgumentTest, OneArgumentIsReadAsADecimalNumber) {
    const struct {
        std::vector<std::string> args;
        int port;
    } cases[] = {
        {{}, 1},
        {{"3"}, 3},
        {{"2.9"}, 2},
        {{"abc"}, 0},
        {{"3", "4"}, 1},
        {{"-2.5"}, -2},
        {{"7x"}, 7},
        {{"1e1"}, 10},
        {{"1e30"}, 0},  // outside the int range
        {{"-1e30"}, 0},
        {{"inf"}, 0},
        {{"nan"}, 0},
        {{"2147483647"}, 2147483647},
        {{"2147483648"}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.port, portOf(c.args)) << (c.args.empty() ? "(none)" : c.args[0]);
    }
}

TEST(DevicePathTest, PrefixIsPlainTextBeforeThePortNumber) {
    unsetenv("DSPD_SERIAL_PREFIX");
    EXPECT_EQ("/dev/ttyS1", UartWorker::devicePath(1));
    EXPECT_EQ("/dev/ttyS-3", UartWorker::devicePath(-3));
    setenv("DSPD_SERIAL_PREFIX", "/tmp/%s%n/port", 1);
    EXPECT_EQ("/tmp/%s%n/port12", UartWorker::devicePath(12));
    setenv("DSPD_SERIAL_PREFIX", "", 1);
    EXPECT_EQ("0", UartWorker::devicePath(0));
    unsetenv("DSPD_SERIAL_PREFIX");
}

TEST(CallBackTest, WithoutARootNothingIsDispatched) {
    UartWorkerCallBackImpl callback(nullptr);
    char line[] = "dsp status\n";
    char out[16] = {};
    EXPECT_EQ(-1, callback.onCommand(line, 11, out, sizeof out));
    EXPECT_EQ(-1, callback.setNotify(nullptr, nullptr));
}

TEST(CallBackTest, RoutesThroughTheRoot) {
    Command root;
    root.add(new AudioCommand());
    UartWorkerCallBackImpl callback(&root);
    char line[] = "dsp status\n";
    char out[16] = {};
    testing::internal::CaptureStdout();
    const int result = callback.onCommand(line, 11, out, sizeof out);
    const std::string echoed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(5, result);
    EXPECT_EQ(std::string("[ok]\0", 5), std::string(out, 5));
    EXPECT_EQ("dsp status\n\n", echoed);
    EXPECT_EQ(0, callback.setNotify(nullptr, nullptr));
}

}  // namespace
