// The real dspd on a pseudo-terminal, spoken to byte for byte as a peer would.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "PtyServer.h"

namespace {

const std::string kOk("[ok]\0", 5);
const std::string kFail("[fail]\0", 7);

TEST(ServerE2ETest, StatusAnswersFiveBytesAndEchoesTheLine) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kOk, server.request("dsp status\n", 5));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitOut("dsp status\n\n"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ServerE2ETest, VolumeAnswersOkAndRefusedWriteAnswersFail) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kOk, server.request("dsp vol 40\n", 5));
    EXPECT_EQ(kFail, server.request("dsp vol\n", 7));
    EXPECT_EQ(0, server.stop(SIGTERM));
    EXPECT_NE(std::string::npos, server.err().find("ERR: bad argc number\n"));

    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "setMasterVolume";
    PtyServer failing(options);
    ASSERT_TRUE(failing.ok()) << failing.err();
    EXPECT_EQ(kFail, failing.request("dsp vol 40\n", 7));
    EXPECT_EQ("", failing.readQuiet(200));
    EXPECT_TRUE(failing.waitErr("ERR: setMasterVolume failed\n"));
}

TEST(ServerE2ETest, UnknownSimulatedFailureNameIsReportedAtStartUp) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "setMasterVolume,noSuchOperation";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_NE(std::string::npos, server.err().find("noSuchOperation"));
}

TEST(ServerE2ETest, FramingOfLinesAcrossReads) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();

    // A line split over two reads.
    ASSERT_TRUE(server.send("dsp st"));
    ASSERT_TRUE(server.waitDrained());
    EXPECT_EQ("", server.readQuiet(100));
    EXPECT_EQ(kOk, server.request("atus\n", 5));

    // Two lines in one read, answered in order.
    EXPECT_EQ(kOk + kFail, server.request("dsp status\ndsp vol\n", 12));

    // CR LF is one line: one reply, nothing for the LF.
    EXPECT_EQ(kOk, server.request("dsp status\r\n", 5));
    EXPECT_EQ("", server.readQuiet(200));

    // Empty lines, unknown items and a bare group get nothing at all.
    ASSERT_TRUE(server.send("\n\r\ndsp foo 1\ndsp\nfoo\nDSP status\n"));
    EXPECT_EQ(kOk, server.request("dsp status\n", 5));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ServerE2ETest, OverlongLineIsDroppedAndTheServerCarriesOn) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    const std::string huge = "dsp vol " + std::string(10000, '7') + "\n";
    ASSERT_TRUE(server.send(huge));
    EXPECT_EQ(kOk, server.request("dsp status\n", 5));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("line too long"));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ServerE2ETest, StopSignalsEndTheRunWithStatusZero) {
    for (int sig : {SIGTERM, SIGINT}) {
        PtyServer server;
        ASSERT_TRUE(server.ok()) << server.err();
        EXPECT_EQ(kOk, server.request("dsp status\n", 5));
        EXPECT_EQ(0, server.stop(sig)) << sig;
    }
}

TEST(ServerE2ETest, PeerThatGoesAwayLeavesTheServerRunningAndStoppable) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kOk, server.request("dsp status\n", 5));
    // Every read now fails at once; the server waits instead of exiting.
    server.closePeer();
    EXPECT_EQ(-1, server.waitExit(500));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ServerE2ETest, PortArgumentChoosesTheDevice) {
    const struct {
        std::vector<std::string> args;
        const char* path;
    } cases[] = {
        {{}, "/nonexistent-dspd/ttyS1\n"},         {{"3"}, "/nonexistent-dspd/ttyS3\n"},
        {{"2.9"}, "/nonexistent-dspd/ttyS2\n"},    {{"abc"}, "/nonexistent-dspd/ttyS0\n"},
        {{"3", "4"}, "/nonexistent-dspd/ttyS1\n"},
    };
    for (const auto& c : cases) {
        PtyServer::Options options;
        options.portFromPty = false;
        options.waitReady = false;
        options.args = c.args;
        options.env["DSPD_SERIAL_PREFIX"] = "/nonexistent-dspd/ttyS";
        PtyServer server(options);
        // The device does not exist: the open fails and the process ends
        // with status 0 without reading anything.
        EXPECT_EQ(0, server.waitExit()) << c.path;
        const std::string err = server.err();
        EXPECT_NE(std::string::npos, err.find(std::string("INF: open ") + c.path)) << err;
        EXPECT_NE(std::string::npos, err.find("ERR: open device fail\n")) << err;
        EXPECT_EQ(std::string::npos, err.find("port ready")) << err;
    }
}

}  // namespace
