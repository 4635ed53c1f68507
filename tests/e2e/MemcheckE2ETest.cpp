// The real dspd under valgrind's memcheck for a whole session: every item
// once on its success path and on its failure paths (bad words, refused
// service operations), then SIGTERM. Any memory error, and any block lost
// (definitely or indirectly), makes valgrind end the server with status 99;
// blocks still reachable at exit (the simulated service's process-wide
// state) are not leaks.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

struct Exchange {
    std::string line;
    std::string reply;  // exact bytes; a report is matched by its start instead
    const char* reportStart;
};

PtyServer::Options underMemcheck() {
    PtyServer::Options options;
    options.launcher = {DSPD_VALGRIND,
                        "--quiet",
                        "--error-exitcode=99",
                        "--leak-check=full",
                        "--show-leak-kinds=definite,indirect",
                        "--errors-for-leak-kinds=definite,indirect"};
    options.readyTimeoutMs = 60000;
    return options;
}

// Runs the exchanges, stops the server and expects a clean valgrind run.
void runSession(PtyServer::Options options, const std::vector<Exchange>& exchanges) {
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    for (const Exchange& e : exchanges) {
        if (e.reportStart != nullptr) {
            ASSERT_TRUE(server.send(e.line));
            const std::string report = server.readUntil(":[ok]", 2000, 30000);
            EXPECT_EQ(0u, report.rfind(e.reportStart, 0)) << e.line;
            EXPECT_EQ(":[ok]", report.substr(report.size() < 5 ? 0 : report.size() - 5));
        } else {
            EXPECT_EQ(e.reply, server.request(e.line, e.reply.size(), 30000)) << e.line;
        }
    }
    EXPECT_EQ(0, server.stop(SIGTERM, 60000)) << server.err();
}

std::string mpBinText(int fields) {
    std::string text;
    for (int i = 0; i < fields; ++i) {
        text += (i == 0 ? "" : ":") + std::to_string(i % 10);
    }
    return text;
}

// The blob mpBinText(size) writes, framed as getmp sends it, then "[ok]".
std::string framedBlob(size_t size) {
    std::string reply = {0, 0, static_cast<char>(size >> 8), static_cast<char>(size & 0xFF)};
    for (size_t i = 0; i < size; ++i) {
        reply += static_cast<char>(i % 10);
    }
    return reply + kOkReply;
}

TEST(MemcheckE2ETest, EveryItemOnItsSuccessAndArgumentFailurePaths) {
    std::string biquadChannel = "dsp bq channel 1";
    for (int i = 0; i < 140; ++i) {
        biquadChannel += " " + std::to_string(i);
    }
    runSession(underMemcheck(),
               {
                   {"dsp status\n", kOkReply, nullptr},
                   {"dsp vol 40\n", kOkReply, nullptr},
                   {"dsp vol\n", kFailReply, nullptr},
                   {"dsp cvol 0 3\n", kOkReply, nullptr},
                   {"dsp cvol 6 3\n", kFailReply, nullptr},
                   {"dsp delay 1 2.5\n", kOkReply, nullptr},
                   {"dsp delay 1\n", kFailReply, nullptr},
                   {"dsp eq gain 3 -6.5 1\n", kOkReply, nullptr},
                   {"dsp eq gain 8 1 0\n", kFailReply, nullptr},
                   {"dsp bq gain 19 -3.5 5\n", kOkReply, nullptr},
                   {biquadChannel + "\n", kOkReply, nullptr},
                   {"dsp bq freq 0 1 0\n", kFailReply, nullptr},
                   {"dsp ftr 5 1 2 3 4 5 6\n", kOkReply, nullptr},
                   {"dsp ftr 5 1\n", kFailReply, nullptr},
                   {"dsp loud 1 2 3\n", kOkReply, nullptr},
                   {"dsp loud 1\n", kFailReply, nullptr},
                   {"dsp sig 1\n", kOkReply, nullptr},
                   {"dsp sig 2\n", kFailReply, nullptr},
                   {"dsp spk 1\n", kOkReply, nullptr},
                   {"dsp spk 3\n", kFailReply, nullptr},
                   {"dsp bteq gain 1 2.5 0\n", kOkReply, nullptr},
                   {"dsp bteq q 0 1 0\n", kFailReply, nullptr},
                   {"dsp hfaec seq gain 2 1.25\n", kOkReply, nullptr},
                   {"dsp hfaec nlp cnExecIdx 4\n", kOkReply, nullptr},
                   {"dsp hfaec seq cf 8 100\n", kFailReply, nullptr},
                   {"dsp hfaec foo bar 1\n", kFailReply, nullptr},
                   {"dsp mpbin 296 " + mpBinText(296) + "\n", kOkReply, nullptr},
                   {"dsp mpbin 2560 " + mpBinText(2560) + "\n", kOkReply, nullptr},
                   {"dsp mpbin 3 1:2:3:4\n", kFailReply, nullptr},
                   {"dsp mpbin 296 123\n", kFailReply, nullptr},
                   {"dsp getmp\n", framedBlob(296), nullptr},
                   {"dsp getmp ext\n", framedBlob(2560), nullptr},
                   {"dsp sync\n", "", "dsp sync:A0101:vol:1:40:3:"},
                   {"dsp hfsync\n", "", "dsp hfsync:A0101:"},
                   {"dsp nosuchitem\ndsp status\n", kOkReply, nullptr},
                   {"dsp vol " + std::string(9000, '7') + "\ndsp status\n", kOkReply, nullptr},
               });
}

TEST(MemcheckE2ETest, EveryItemWhenTheServiceRefuses) {
    PtyServer::Options options = underMemcheck();
    options.env["DSPD_SIM_FAIL"] =
        "setMasterVolume,setChannelGain,setSpeakerDelay,getEqualizer,setBiquad,setFilter,"
        "setLoudness,setMainAudioSpeakerTestPattern,setSpeakerOutPut,getBassTreble,"
        "getHandsfreeEQ,setMpBin,getMpBin,getBiquad,getUpLinkGain";
    std::string mpbin = "dsp mpbin 296 " + mpBinText(296) + "\n";
    runSession(options, {
                            {"dsp status\n", kOkReply, nullptr},
                            {"dsp vol 40\n", kFailReply, nullptr},
                            {"dsp cvol 0 3\n", kFailReply, nullptr},
                            {"dsp delay 1 2.5\n", kFailReply, nullptr},
                            {"dsp eq gain 3 -6.5 1\n", kFailReply, nullptr},
                            {"dsp bq gain 19 -3.5 5\n", kFailReply, nullptr},
                            {"dsp ftr 5 1 2 3 4 5 6\n", kFailReply, nullptr},
                            {"dsp loud 1 2 3\n", kFailReply, nullptr},
                            {"dsp sig 1\n", kFailReply, nullptr},
                            {"dsp spk 1\n", kFailReply, nullptr},
                            {"dsp bteq gain 1 2.5 0\n", kFailReply, nullptr},
                            {"dsp hfaec seq gain 2 1.25\n", kFailReply, nullptr},
                            {mpbin, kFailReply, nullptr},
                            {"dsp getmp ext\n", kFailReply, nullptr},
                            {"dsp sync\n", kFailReply, nullptr},
                            {"dsp hfsync\n", kFailReply, nullptr},
                        });
}

}  // namespace
