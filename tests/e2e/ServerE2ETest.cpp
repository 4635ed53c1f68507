// What the wire tables cannot state: the echo, signals, a peer that goes.
#include <gtest/gtest.h>
#include <signal.h>
#include <termios.h>

#include <string>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

TEST(ServerE2ETest, EchoesEachLineStopsOnSigintAndOutlivesItsPeer) {
    for (bool peerGoes : {false, true}) {
        PtyServer server;
        ASSERT_TRUE(server.ok()) << server.err();
        // The line as the server set it up: 115200 baud, one stop bit (a
        // pseudo-terminal keeps 8 data bits and no parity whatever is asked).
        struct termios line;
        ASSERT_EQ(0, tcgetattr(server.masterFd(), &line));
        EXPECT_EQ(static_cast<speed_t>(B115200), cfgetospeed(&line));
        EXPECT_EQ(0u, line.c_cflag & CSTOPB);
        // A line split over two reads is echoed once, whole.
        ASSERT_TRUE(server.send("dsp st") && server.waitDrained());
        EXPECT_EQ(kOkReply, server.request("atus\n", 5));
        if (peerGoes) {
            // Every read now fails at once; the server waits instead of exiting.
            server.closePeer();
            EXPECT_EQ(-1, server.waitExit(500));
        }
        // The handler may run in any thread; the idle worker still sees the
        // stop at once, not after its wait has run out.
        EXPECT_EQ(0, server.stop(peerGoes ? SIGTERM : SIGINT));
        EXPECT_EQ(std::string::npos, server.err().find("did not stop")) << server.err();
        EXPECT_EQ("dsp status\n\n", server.out());
    }
}

}  // namespace

// A peer that sends and stops reading fills the terminal; the server waits
// for room without spinning. Resumed, it gets every reply whole and in
// order; stopped instead, the server gives up the reply and exits at once.
TEST(ServerE2ETest, PeerThatStopsReadingGetsEverythingLaterOrTheServerStops) {
    for (const std::string line : {"dsp sync\n", "dsp getmp ext\n"}) {
        for (bool resume : {true, false}) {
            SCOPED_TRACE(line + (resume ? " resumed" : " stopped"));
            PtyServer server;
            ASSERT_TRUE(server.ok()) << server.err();
            ASSERT_TRUE(server.send(line));
            const std::string one = server.readQuiet();
            ASSERT_LT(one.size() - 8, one.rfind("[ok]")) << one.size();
            std::string lines;
            for (int i = 0; i < 40; ++i) lines += line;
            ASSERT_TRUE(server.send(lines));
            // The server has answered what fits and now waits for room: its
            // log has gone quiet.
            ASSERT_TRUE(server.waitErrQuiet(500));
            if (resume) {
                const std::string all = server.read(40 * one.size(), 20000);
                EXPECT_EQ(40 * one.size(), all.size());
                for (size_t i = 0; i < 40 && all.size() == 40 * one.size(); ++i) {
                    EXPECT_EQ(one, all.substr(i * one.size(), one.size())) << i;
                }
            } else {
                EXPECT_EQ(0, server.stop(SIGTERM, 1000));
                EXPECT_NE(std::string::npos, server.err().find(" abandoned (stop requested): "))
                    << server.err();
            }
        }
    }
}

// The echo on a pipe nobody reads, or whose reader has gone, holds nothing up.
TEST(ServerE2ETest, StandardOutputThatNobodyReadsOrHasGoneHoldsNothingUp) {
    using Reader = PtyServer::Options::Reader;
    for (Reader reader : {Reader::kNone, Reader::kGone}) {
        PtyServer::Options options;
        options.stdoutReader = reader;
        PtyServer server(options);
        ASSERT_TRUE(server.ok()) << server.err();
        // Each line's echo is 8 KB: a pipe nobody reads is full after a few.
        const std::string line = "dsp status " + std::string(8000, 'x') + "\n";
        int answered = 0;
        while (answered < 20 && server.request(line, 5, 1000) == kOkReply) {
            ++answered;
        }
        EXPECT_EQ(reader == Reader::kGone, answered == 20) << answered;
        EXPECT_LT(0, answered);
        EXPECT_EQ(0, server.stop(SIGTERM, 1000)) << server.err();
        if (reader == Reader::kGone) {
            EXPECT_EQ(std::string::npos, server.err().find("leaving without it")) << server.err();
        }
    }
}

// The simulated service takes its failures from DSPD_SIM_FAIL, read at its
// first use: blanks and empty entries go, an unknown name is reported.
TEST(ServerE2ETest, SimulatedFailuresComeFromTheEnvironment) {
    PtyServer::Options options;
    options.env["DSPD_SIM_FAIL"] = " setMasterVolume , ,noSuchOp";
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_EQ(kFailReply, server.request("dsp vol 1\n", 7));
    for (const char* line : {"WRN: DSPD_SIM_FAIL: no operation named noSuchOp\n",
                             "INF: simulating failure of setMasterVolume\n"}) {
        EXPECT_NE(std::string::npos, server.err().find(line)) << server.err();
    }
}
