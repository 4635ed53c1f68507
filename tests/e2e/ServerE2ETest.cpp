// The real dspd on a pseudo-terminal, spoken to byte for byte as a peer would.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

TEST(ServerE2ETest, LinesAreFramedAnsweredAndEchoed) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();

    // A line split over two reads is answered once whole, and echoed.
    ASSERT_TRUE(server.send("dsp st"));
    ASSERT_TRUE(server.waitDrained());
    EXPECT_EQ("", server.readQuiet(100));
    EXPECT_EQ(kOkReply, server.request("atus\n", 5));
    EXPECT_TRUE(server.waitOut("dsp status\n\n"));

    // Two lines in one read, answered in order.
    EXPECT_EQ(kOkReply + kFailReply, server.request("dsp vol 40\ndsp vol\n", 12));
    EXPECT_TRUE(server.waitErr("ERR: bad argc number\n"));

    // CR LF is one line: one reply, nothing for the LF.
    EXPECT_EQ(kOkReply, server.request("dsp status\r\n", 5));
    EXPECT_EQ("", server.readQuiet(200));

    // Empty lines, unknown items, a bare group and an over-long line get
    // nothing at all; the next line is answered.
    ASSERT_TRUE(server.send("\n\r\ndsp foo 1\ndsp\nfoo\nDSP status\ndsp vol " +
                            std::string(10000, '7') + "\n"));
    EXPECT_EQ(kOkReply, server.request("dsp status\n", 5));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("line too long"));
    EXPECT_EQ(0, server.stop(SIGINT));  // the other tests stop with SIGTERM
}

TEST(ServerE2ETest, RefusedVolumeWriteAnswersFailAlone) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = "setMasterVolume";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kFailReply, server.request("dsp vol 40\n", 7));
    EXPECT_EQ("", server.readQuiet(200));
    EXPECT_TRUE(server.waitErr("ERR: setMasterVolume failed\n"));
}

TEST(ServerE2ETest, PeerThatGoesAwayLeavesTheServerRunningAndStoppable) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kOkReply, server.request("dsp status\n", 5));
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
