// The reports over the pseudo-terminal: values set through commands come back
// byte for byte through "sync" and "hfsync", and refused commands change
// nothing. One success and one failure of every item end to end; the unit
// tables hold the rest.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

std::string repeat(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

// A report travels without a NUL and has no fixed length.
std::string requestReport(PtyServer& server, const std::string& line) {
    if (!server.send(line)) return std::string();
    return server.readUntil(":[ok]");
}

// Sends each command line and expects "[ok]" for it.
void setAll(PtyServer& server, std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        EXPECT_EQ(kOkReply, server.request(line, 5)) << line;
    }
}

TEST(ReportE2ETest, EveryHfaecFormComesBackThroughHfsync) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    setAll(server, {
                       "dsp hfaec adc MicOpGain 0 12\n",
                       "dsp hfaec adc MicOpGain 1 12\n",
                       "dsp hfaec adc MicPgaGain 0 6.5\n",
                       "dsp hfaec adc MicPgaGain 1 -1\n",
                       "dsp hfaec seq en 1\n",
                       "dsp hfaec seq gain 0 -3.5\n",
                       "dsp hfaec seq gain 2 1.25\n",
                       "dsp hfaec seq gain 7 2\n",
                       "dsp hfaec seq q 0 0.707\n",
                       "dsp hfaec seq cf 7 16000\n",
                       "dsp hfaec seq en 0\n",
                       "dsp hfaec req en 7\n",
                       "dsp hfaec req cf 3 70000\n",  // a 32-bit field: not narrowed
                       "dsp hfaec req gain 5 -6\n",
                       "dsp hfaec req q 1 2.5\n",
                       "dsp hfaec aec pfGainLimitIdx 2\n",
                       "dsp hfaec nr nrAttenIdx 3\n",
                       "dsp hfaec nlp pfWeightIdx 1\n",
                       "dsp hfaec nlp cnEstiIdx 8\n",
                       "dsp hfaec nlp cnExecIdx 4\n",
                       "dsp hfaec uplink gain -1.5\n",
                   });
    // Refused commands change nothing that the report shows.
    EXPECT_EQ(kFailReply, server.request("dsp hfaec seq cf 8 100\n", 7));
    EXPECT_EQ(kFailReply, server.request("dsp hfaec adc MicOpGain 2 1\n", 7));
    EXPECT_EQ(
        "dsp hfsync:A0101:opgain:12.000000:12.000000:pgagain:6.500000:-1.000000:seq:0:100:250:500:"
        "1000:2000:4000:8000:16000:-3.500000:0.000000:1.250000:0.000000:0.000000:0.000000:0.000000:"
        "2.000000:0.707000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:req:1:"
        "100:250:500:70000:2000:4000:8000:16000:0.000000:0.000000:0.000000:0.000000:0.000000:"
        "-6.000000:0.000000:0.000000:1.000000:2.500000:1.000000:1.000000:1.000000:1.000000:"
        "1.000000:1.000000:duplex:2:nr:3:nlp:1:8:4:uplink:-1.500000:[ok]",
        requestReport(server, "dsp hfsync\n"));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: not support band(8)\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ReportE2ETest, RefusedReadAnswersFailAlone) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "getUpLinkGain,getBiquad";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kFailReply, server.request("dsp hfsync\n", 7));
    EXPECT_EQ(kFailReply, server.request("dsp sync\n", 7));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: getUpLinkGain failed\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

// The equalizer section of one channel: cf, q, then gain of bands 0 to 7.
std::string eqChannel(const std::string& cf, const std::string& q, const std::string& gain) {
    return cf + q + gain;
}

TEST(ReportE2ETest, ChannelSettingsSetByCommandComeBackThroughSync) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    std::string bands;
    for (int band = 0; band < 20; ++band) {
        bands += " 2 16000 -12.5 10 1 12 180";
    }
    const std::string bank2 = "dsp bq channel 2" + bands + "\n";
    const std::string bank3 = "dsp bq channel 3" + bands + "\n";
    const std::string bank4 = "dsp bq channel 4" + bands + "\n";
    setAll(server, {
                       "dsp spk 2\n",
                       "dsp vol 40\n",
                       "dsp cvol 0 10\n",
                       "dsp cvol 1 20\n",
                       "dsp cvol 2 30\n",
                       "dsp cvol 3 40\n",
                       "dsp cvol 4 50\n",
                       "dsp cvol 5 300\n",
                       "dsp delay 5 1.5\n",
                       "dsp eq gain 3 -6.5 1\n",
                       "dsp eq cf 0 1000 1\n",
                       "dsp eq q 7 70000 2\n",
                       "dsp bteq gain 1 2.5 0\n",
                       "dsp bteq cf 0 80 4\n",
                       "dsp ftr 5 1 2 3 4 -6 6\r",
                       "dsp ftr 0 -6 0 0 0 0 0\n",
                       "dsp loud 1 2 70000\n",
                       bank2.c_str(),
                       bank3.c_str(),
                       bank4.c_str(),
                       "dsp bq gain 19 -3.5 5\n",
                       "dsp sig 1\n",
                   });
    // One refused line of each item: "[fail]", its ERR line, and nothing
    // changed that the report shows.
    const struct {
        const char* line;
        const char* error;
    } refused[] = {
        {"dsp cvol 6 1\n", "bad argc number\n"},
        {"dsp delay -1 1.5\n", "bad argc number\n"},
        {"dsp eq gain 8 1 0\n", "not support band(8)\n"},
        {"dsp bq freq 0 1 0\n", "not support function(freq)\n"},
        {"dsp ftr 5 1 2 3 4 5\n", "bad argc number\n"},
        {"dsp loud -1 70000\n", "bad argc number\n"},
        {"dsp bteq q 0 1 0\n", "not support function(q)\n"},
        {"dsp sig 2\n", "bad parameter\n"},
        {"dsp spk 3\n", "bad parameter\n"},
    };
    for (const auto& r : refused) {
        EXPECT_EQ(kFailReply, server.request(r.line, 7)) << r.line;
        EXPECT_TRUE(server.waitErr(std::string("ERR: ") + r.error)) << r.line;
    }
    const std::string cf = ":63:125:250:500:1000:2000:4000:8000";
    const std::string q = repeat(":1", 8);
    const std::string flat = repeat(":0.000000", 8);
    const std::string defaultBand = ":0:1000:0.000000:0.707000:0:0:0";
    const std::string tunedBand = ":2:16000:-12.500000:10.000000:1:12:180";
    const std::string expected =
        "dsp sync:A0101:vol:2:40:10:20:30:40:50:44" + std::string(":delay") +
        repeat(":0.000000", 5) + ":1.500000" + ":eq" + eqChannel(cf, q, flat) +
        eqChannel(":1000:125:250:500:1000:2000:4000:8000", q,
                  ":0.000000:0.000000:0.000000:-6.500000:0.000000:0.000000:0.000000:0.000000") +
        eqChannel(cf, repeat(":1", 7) + ":4464", flat) + repeat(eqChannel(cf, q, flat), 3) +
        ":eqbt" + ":100:10000:0.000000:2.500000" + repeat(":100:10000:0.000000:0.000000", 3) +
        ":80:10000:0.000000:0.000000" + ":100:10000:0.000000:0.000000" + ":ftr" +
        ":65530:0:0:0:0:0" + repeat(":0", 24) + ":1:2:3:4:-6:6" + ":loud:1:2:4464:bq" +
        repeat(defaultBand, 40) + repeat(tunedBand, 60) + repeat(defaultBand, 19) +
        ":0:1000:-3.500000:0.707000:0:0:0" + ":[ok]";
    EXPECT_EQ(expected, requestReport(server, "dsp sync extra words\n"));
    EXPECT_EQ("", server.readQuiet(200));
    // The biquad section alone is over the 4096 characters a section once
    // held, and comes whole.
    EXPECT_GT(expected.size() - expected.find(":bq:"), 4096u);
    EXPECT_EQ(0, server.stop(SIGTERM));
}

}  // namespace
