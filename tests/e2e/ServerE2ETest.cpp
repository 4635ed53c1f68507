// What the wire tables cannot state: the echo, signals, a peer that goes, and
// the port argument.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "PtyServer.h"

namespace {

TEST(ServerE2ETest, EchoesEachLineAndStopsOnSigint) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    // A line split over two reads is echoed once, whole.
    ASSERT_TRUE(server.send("dsp st") && server.waitDrained());
    EXPECT_EQ(std::string("[ok]\0", 5), server.request("atus\n", 5));
    EXPECT_EQ(0, server.stop(SIGINT));  // the other tests stop with SIGTERM
    EXPECT_EQ("dsp status\n\n", server.out());
}

TEST(ServerE2ETest, PeerThatGoesAwayLeavesTheServerRunningAndStoppable) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(std::string("[ok]\0", 5), server.request("dsp status\n", 5));
    // Every read now fails at once; the server waits instead of exiting.
    server.closePeer();
    EXPECT_EQ(-1, server.waitExit(500));
    EXPECT_EQ(0, server.stop(SIGTERM));
}

TEST(ServerE2ETest, PortArgumentChoosesTheDevice) {
    const struct {
        std::vector<std::string> args;
        const char* port;
    } cases[] = {
        {{}, "1"}, {{"3"}, "3"}, {{"2.9"}, "2"}, {{"abc"}, "0"}, {{"3", "4"}, "1"},
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
        EXPECT_EQ(0, server.waitExit()) << c.port;
        const std::string err = server.err();
        EXPECT_NE(std::string::npos,
                  err.find(std::string("INF: open /nonexistent-dspd/ttyS") + c.port + "\n"))
            << err;
        EXPECT_NE(std::string::npos, err.find("ERR: open device fail\n")) << err;
        EXPECT_EQ(std::string::npos, err.find("port ready")) << err;
    }
}

}  // namespace
