// The reports over the pseudo-terminal: values set through commands come back
// byte for byte through "sync" and "hfsync".
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "PtyServer.h"

namespace {

const std::string kOk("[ok]\0", 5);
const std::string kFail("[fail]\0", 7);

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
        EXPECT_EQ(kOk, server.request(line, 5)) << line;
    }
}

TEST(ReportE2ETest, MasterVolumeSetByCommandComesBackThroughSync) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    setAll(server, {"dsp vol 40\n"});
    // A freshly booted device but for the master volume.
    const std::string expected =
        "dsp sync:A0101:vol:0:40" + repeat(":0", 6) + ":delay" + repeat(":0.000000", 6) + ":eq" +
        repeat(":63:125:250:500:1000:2000:4000:8000" + repeat(":1", 8) + repeat(":0.000000", 8),
               6) +
        ":eqbt" + repeat(":100:10000:0.000000:0.000000", 6) + ":ftr" + repeat(":0", 36) +
        ":loud:0:0:0:bq" + repeat(":0:1000:0.000000:0.707000:0:0:0", 120) + ":[ok]";
    EXPECT_EQ(expected, requestReport(server, "dsp sync\n"));
    EXPECT_EQ("", server.readQuiet(200));

    setAll(server, {"dsp vol 255\n"});
    EXPECT_EQ(0u,
              requestReport(server, "dsp sync extra words\n").rfind("dsp sync:A0101:vol:0:255:0:"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ReportE2ETest, EveryHfaecFormComesBackThroughHfsync) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    setAll(server, {
                       "dsp hfaec adc MicOpGain 0 12\n",
                       "dsp hfaec adc MicOpGain 1 12\n",
                       "dsp hfaec adc MicPgaGain 0 6.5\n",
                       "dsp hfaec adc MicPgaGain 1 6.5\n",
                       "dsp hfaec seq en 1\n",
                       "dsp hfaec seq gain 0 -3.5\n",
                       "dsp hfaec seq gain 2 1.25\n",
                       "dsp hfaec seq gain 7 2\n",
                       "dsp hfaec seq q 0 0.707\n",
                       "dsp hfaec seq cf 7 16000\n",
                       "dsp hfaec aec pfGainLimitIdx 2\n",
                       "dsp hfaec nr nrAttenIdx 3\n",
                       "dsp hfaec nlp pfWeightIdx 1\n",
                       "dsp hfaec nlp cnEstiIdx 0\n",
                       "dsp hfaec nlp cnExecIdx 4\n",
                       "dsp hfaec uplink gain -1.5\n",
                   });
    // A report with typical values, 492 characters.
    const std::string example =
        "dsp hfsync:A0101:opgain:12.000000:12.000000:pgagain:6.500000:6.500000:seq:1:100:250:500:"
        "1000:2000:4000:8000:16000:-3.500000:0.000000:1.250000:0.000000:0.000000:0.000000:0.000000:"
        "2.000000:0.707000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:req:0:"
        "100:250:500:1000:2000:4000:8000:16000:0.000000:0.000000:0.000000:0.000000:0.000000:0."
        "000000:"
        "0.000000:0.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:"
        "duplex:2:nr:3:nlp:1:0:4:uplink:-1.500000:[ok]";
    ASSERT_EQ(492u, example.size());
    EXPECT_EQ(example, requestReport(server, "dsp hfsync\n"));

    // The receive equalizer, and values changed a second time.
    setAll(server, {
                       "dsp hfaec req en 7\n",
                       "dsp hfaec req cf 3 1200\n",
                       "dsp hfaec req gain 5 -6\n",
                       "dsp hfaec req q 1 2.5\n",
                       "dsp hfaec seq en 0\n",
                       "dsp hfaec adc MicPgaGain 1 -1\n",
                       "dsp hfaec nlp cnEstiIdx 8\n",
                   });
    EXPECT_EQ(
        "dsp hfsync:A0101:opgain:12.000000:12.000000:pgagain:6.500000:-1.000000:seq:0:100:250:500:"
        "1000:2000:4000:8000:16000:-3.500000:0.000000:1.250000:0.000000:0.000000:0.000000:0.000000:"
        "2.000000:0.707000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:req:1:"
        "100:250:500:1200:2000:4000:8000:16000:0.000000:0.000000:0.000000:0.000000:0.000000:"
        "-6.000000:0.000000:0.000000:1.000000:2.500000:1.000000:1.000000:1.000000:1.000000:1."
        "000000:"
        "1.000000:duplex:2:nr:3:nlp:1:8:4:uplink:-1.500000:[ok]",
        requestReport(server, "dsp hfsync\n"));

    // Refused commands change nothing that the report shows.
    EXPECT_EQ(kFail, server.request("dsp hfaec seq cf 8 100\n", 7));
    EXPECT_EQ(kFail, server.request("dsp hfaec adc MicOpGain 2 1\n", 7));
    const std::string after = requestReport(server, "dsp hfsync\n");
    EXPECT_NE(std::string::npos, after.find("opgain:12.000000:12.000000:")) << after;
    EXPECT_NE(std::string::npos, after.find(":seq:0:100:250:500:1000:2000:4000:8000:16000:"))
        << after;
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: not support band(8)\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ReportE2ETest, RefusedReadAnswersFailAlone) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "getUpLinkGain,getBiquad";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kFail, server.request("dsp hfsync\n", 7));
    EXPECT_EQ(kFail, server.request("dsp sync\n", 7));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: getUpLinkGain failed\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

}  // namespace
