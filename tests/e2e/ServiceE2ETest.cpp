// The real dspd as a service manager runs it: readiness on the notify socket
// once the port is configured, and its echo on a journal stream.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>

#include "DspHarness.h"
#include "NotifySocket.h"
#include "PtyServer.h"

namespace {

TEST(ServiceE2ETest, ReadinessIsReportedOnceWhenThePortIsConfigured) {
    for (bool abstract : {false, true}) {
        NotifySocket manager(abstract);
        ASSERT_TRUE(manager.ok());
        PtyServer::Options options;
        options.env["NOTIFY_SOCKET"] = manager.address();
        PtyServer server(options);
        ASSERT_TRUE(server.ok()) << server.err();
        EXPECT_EQ("READY=1", manager.receive(5000)) << manager.address();
        EXPECT_EQ(kOkReply, server.request("dsp status\n", 5));
        EXPECT_EQ(0, server.stop(SIGTERM));
        EXPECT_EQ("", manager.receive(0)) << "a second message";
        EXPECT_EQ(std::string::npos, server.err().find("WRN")) << server.err();
    }
}

// An unusable notify socket is reported and the server carries on; its echo
// on the journal cannot choose its priority.
TEST(ServiceE2ETest, UnusableNotifySocketAndEchoOnTheJournal) {
    PtyServer::Options options;
    options.env["NOTIFY_SOCKET"] = "/nonexistent-dspd/notify";
    options.stdoutIsJournal = true;
    PtyServer server(options);
    ASSERT_TRUE(server.ok()) << server.err();
    EXPECT_NE(std::string::npos, server.waitErr("WRN: cannot notify the service manager"));
    ASSERT_TRUE(server.send("<0>dsp status\n"));
    EXPECT_EQ(kOkReply, server.request("dsp status\n", 5));
    EXPECT_EQ(0, server.stop(SIGTERM));
    // Each echo line starts with the information priority; the empty line
    // after it (puts adds one) gets the journal's default priority.
    EXPECT_EQ("<6><0>dsp status\n\n<6>dsp status\n\n", server.out());
}

}  // namespace
