// The per-channel DSP items on the real dspd over a pseudo-terminal, checked
// byte for byte as a peer sees them.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "PtyServer.h"

namespace {

const std::string kOk("[ok]\0", 5);
const std::string kFail("[fail]\0", 7);

struct WireCase {
    std::string line;
    std::string reply;
    const char* error;  // ERR message the server must log, or nullptr
};

// Sends every line in turn, expects exactly its reply and nothing after the
// last one, then stops the server and looks for each ERR message.
void expectWire(PtyServer& server, const std::vector<WireCase>& cases) {
    for (const WireCase& c : cases) {
        EXPECT_EQ(c.reply, server.request(c.line, c.reply.size())) << c.line;
    }
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_EQ(0, server.stop(SIGTERM));
    const std::string err = server.err();
    for (const WireCase& c : cases) {
        if (c.error != nullptr) {
            EXPECT_NE(std::string::npos, err.find(std::string("ERR: ") + c.error)) << c.line;
        }
    }
}

// "dsp bq channel <channel>" and `values` value words, one line.
std::string wholeChannelLine(const char* channel, int values) {
    std::string line = std::string("dsp bq channel ") + channel;
    for (int i = 0; i < values; ++i) {
        line += " " + std::to_string(i % 7 == 2 ? -i : i);  // each band's gain negative
    }
    return line + "\n";
}

TEST(ChannelItemsE2ETest, EachFamilyAnswersOkAndFail) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    expectWire(server, {
                           {"dsp cvol 0 300\n", kOk, nullptr},
                           {"dsp cvol 6 1\n", kFail, "bad argc number\n"},
                           {"dsp delay 5 1.5\n", kOk, nullptr},
                           {"dsp delay -1 1.5\n", kFail, "bad argc number\n"},
                           {"dsp eq gain 3 -6.5 1\n", kOk, nullptr},
                           {"dsp eq gain 8 1 0\n", kFail, "not support band(8)\n"},
                           {"dsp bq gain 19 -3.5 5\n", kOk, nullptr},
                           {"dsp bq freq 0 1 0\n", kFail, "not support function(freq)\n"},
                           {"dsp ftr 5 1 2 3 4 5 6\r", kOk, nullptr},
                           {"dsp ftr 5 1 2 3 4 5\n", kFail, "bad argc number\n"},
                           {"dsp loud 1 2 3\n", kOk, nullptr},
                           {"dsp loud -1 70000\n", kFail, "bad argc number\n"},
                           {"dsp bteq gain 1 2.5 0\n", kOk, nullptr},
                           {"dsp bteq q 0 1 0\n", kFail, "not support function(q)\n"},
                           {"dsp sig 1\n", kOk, nullptr},
                           {"dsp sig 2\n", kFail, "bad parameter\n"},
                           {"dsp spk 1\n", kOk, nullptr},
                           {"dsp spk 3\n", kFail, "bad parameter\n"},
                       });
}

TEST(ChannelItemsE2ETest, WholeChannelBiquadInOneLine) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    const std::string line = wholeChannelLine("2", 140);
    ASSERT_GT(line.size(), 400u);
    expectWire(server, {
                           {line, kOk, nullptr},
                           {wholeChannelLine("2", 141), kFail, "bad argc number\n"},
                           {wholeChannelLine("6", 140), kFail, "bad argc number\n"},
                       });
}

TEST(ChannelItemsE2ETest, RefusedServiceOperationsAnswerFail) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] =
        "setChannelGain,setSpeakerDelay,getEqualizer,setBiquad,setFilter,setLoudness,"
        "getBassTreble,setMainAudioSpeakerTestPattern,setSpeakerOutPut";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    expectWire(server, {
                           {"dsp cvol 0 1\n", kFail, "setMasterVolume failed\n"},
                           {"dsp delay 0 1\n", kFail, "setSpeakerDelay failed\n"},
                           {"dsp eq cf 0 1000 0\n", kFail, "getEqualizer failed\n"},
                           {wholeChannelLine("0", 140), kFail, "setEqualizer failed\n"},
                           {"dsp ftr 0 1 2 3 4 5 6\n", kFail, "setFilter failed\n"},
                           {"dsp loud 1 2 3\n", kFail, "setLoudness failed\n"},
                           {"dsp bteq cf 0 1 0\n", kFail, "getBassTreble failed\n"},
                           {"dsp sig 0\n", kFail, "setMainAudioSpeakerTestPattern failed\n"},
                           {"dsp spk 2\n", kFail, "setSpeakerOutPut 2.0 failed\n"},
                       });
}

}  // namespace
