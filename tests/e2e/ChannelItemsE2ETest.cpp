// The per-channel DSP items on the real dspd over a pseudo-terminal, checked
// byte for byte as a peer sees them: one success and one failure of each
// (the unit tables hold the rest; ReportE2ETest reads the values back).
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

TEST(ChannelItemsE2ETest, EachFamilyAnswersOkAndFail) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    const struct {
        std::string line;
        std::string reply;
        const char* error;  // ERR message the server must log, or nullptr
    } cases[] = {
        {"dsp cvol 0 300\n", kOkReply, nullptr},
        {"dsp cvol 6 1\n", kFailReply, "bad argc number\n"},
        {"dsp delay 5 1.5\n", kOkReply, nullptr},
        {"dsp delay -1 1.5\n", kFailReply, "bad argc number\n"},
        {"dsp eq gain 3 -6.5 1\n", kOkReply, nullptr},
        {"dsp eq gain 8 1 0\n", kFailReply, "not support band(8)\n"},
        {"dsp bq gain 19 -3.5 5\n", kOkReply, nullptr},
        {"dsp bq freq 0 1 0\n", kFailReply, "not support function(freq)\n"},
        {"dsp ftr 5 1 2 3 4 5 6\r", kOkReply, nullptr},
        {"dsp ftr 5 1 2 3 4 5\n", kFailReply, "bad argc number\n"},
        {"dsp loud 1 2 3\n", kOkReply, nullptr},
        {"dsp loud -1 70000\n", kFailReply, "bad argc number\n"},
        {"dsp bteq gain 1 2.5 0\n", kOkReply, nullptr},
        {"dsp bteq q 0 1 0\n", kFailReply, "not support function(q)\n"},
        {"dsp sig 1\n", kOkReply, nullptr},
        {"dsp sig 2\n", kFailReply, "bad parameter\n"},
        {"dsp spk 1\n", kOkReply, nullptr},
        {"dsp spk 3\n", kFailReply, "bad parameter\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.reply, server.request(c.line, c.reply.size())) << c.line;
    }
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_EQ(0, server.stop(SIGTERM));
    for (const auto& c : cases) {
        EXPECT_TRUE(c.error == nullptr ||
                    server.err().find(std::string("ERR: ") + c.error) != std::string::npos)
            << c.line;
    }
}

}  // namespace
