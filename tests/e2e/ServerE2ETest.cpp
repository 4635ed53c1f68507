// What the wire tables cannot state: the echo, signals, a peer that goes.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "PtyServer.h"

namespace {

TEST(ServerE2ETest, EchoesEachLineStopsOnSigintAndOutlivesItsPeer) {
    for (bool peerGoes : {false, true}) {
        PtyServer server;
        ASSERT_TRUE(server.ok()) << server.err();
        // A line split over two reads is echoed once, whole.
        ASSERT_TRUE(server.send("dsp st") && server.waitDrained());
        EXPECT_EQ(std::string("[ok]\0", 5), server.request("atus\n", 5));
        if (peerGoes) {
            // Every read now fails at once; the server waits instead of exiting.
            server.closePeer();
            EXPECT_EQ(-1, server.waitExit(500));
        }
        EXPECT_EQ(0, server.stop(peerGoes ? SIGTERM : SIGINT));
        EXPECT_EQ("dsp status\n\n", server.out());
    }
}

}  // namespace
