// Running under a service manager: readiness on the notify socket once the
// port is configured, the journal recognised by device and inode, and the
// echo on a journal stream.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stddef.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

#include "DspHarness.h"
#include "PtyServer.h"
#include "ServiceManager.h"

namespace {

// A datagram socket in the service manager's role, bound to an abstract name
// or to a path in a fresh directory; removes what it made.
struct NotifySocket {
    explicit NotifySocket(bool abstract) {
        char made[] = "/tmp/dspd-notify-XXXXXX";
        dir = mkdtemp(made) != nullptr ? made : "";
        address = abstract ? "@dspd-test" + dir.substr(16) : dir + "/notify";
        struct sockaddr_un name = {};
        name.sun_family = AF_UNIX;
        address.copy(name.sun_path, sizeof name.sun_path - 1);
        if (abstract) name.sun_path[0] = '\0';
        const socklen_t length = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) +
                                                        address.size() + (abstract ? 0 : 1));
        bound = !dir.empty() && bind(fd, reinterpret_cast<struct sockaddr*>(&name), length) == 0;
    }
    ~NotifySocket() {
        close(fd);
        unlink((dir + "/notify").c_str());
        rmdir(dir.c_str());
    }
    // The next message, or "" when none comes within `timeoutMs`.
    std::string receive(int timeoutMs) {
        struct pollfd pfd = {fd, POLLIN, 0};
        char buffer[256];
        const ssize_t n = poll(&pfd, 1, timeoutMs) == 1 ? recv(fd, buffer, sizeof buffer, 0) : 0;
        return std::string(buffer, static_cast<size_t>(n > 0 ? n : 0));
    }

    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool bound = false;
    std::string dir, address;
};

// Readiness goes once, when the port is configured, to a socket bound to a
// path or to an abstract name. One that cannot be reached is reported and the
// server carries on; its echo on the journal cannot choose its priority.
TEST(ServiceE2ETest, ReadinessIsReportedOnceAndTheEchoGoesToTheJournal) {
    for (const std::string kind : {"path", "abstract", "unusable"}) {
        SCOPED_TRACE(kind);
        NotifySocket manager(kind == "abstract");
        ASSERT_TRUE(manager.bound);
        const bool usable = kind != "unusable";
        PtyServer::Options options;
        options.env["NOTIFY_SOCKET"] = usable ? manager.address : "/nonexistent-dspd/notify";
        options.stdoutIsJournal = !usable;
        PtyServer server(options);
        ASSERT_TRUE(server.ok()) << server.err();
        EXPECT_EQ(usable ? "READY=1" : "", manager.receive(usable ? 5000 : 0));
        ASSERT_TRUE(server.send("<0>dsp status\n"));
        EXPECT_EQ(kOkReply, server.request("dsp status\n", 5));
        EXPECT_EQ(0, server.stop(SIGTERM));
        EXPECT_EQ("", manager.receive(0)) << "a second message";
        const std::string warning = usable ? "WRN" : "WRN: cannot notify the service manager";
        EXPECT_EQ(usable, server.err().find(warning) == std::string::npos) << server.err();
        // Each echo line starts with the information priority; the empty line
        // after it (puts adds one) gets the journal's default priority.
        EXPECT_EQ(
            usable ? "<0>dsp status\n\ndsp status\n\n" : "<6><0>dsp status\n\n<6>dsp status\n\n",
            server.out());
    }
}

// Addresses that cannot be reached: none is no error, the rest are.
TEST(ServiceManagerTest, ReadinessWithoutAUsableNotifySocket) {
    const std::string longPath = "/" + std::string(200, 'x');
    const struct {
        const char* env;
        bool error;
    } cases[] = {
        {nullptr, false},         {"", false},
        {"notify", true},  // relative
        {longPath.c_str(), true}, {"/nonexistent-dspd/notify", true},
    };
    for (const auto& c : cases) {
        ScopedEnv env("NOTIFY_SOCKET", c.env);
        const int result = ServiceManager::notifyReady();
        EXPECT_TRUE(c.error ? result < 0 : result == 0) << result << " " << c.env;
    }
    // No descriptor left for the socket.
    ScopedEnv env("NOTIFY_SOCKET", "/nonexistent-dspd/notify");
    struct rlimit saved, none = {0, 0};
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    none.rlim_max = saved.rlim_max;
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &none));
    const int result = ServiceManager::notifyReady();
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &saved));
    EXPECT_EQ(-EMFILE, result);
}

TEST(ServiceManagerTest, JournalIsRecognisedByDeviceAndInode) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    struct stat status;
    ASSERT_EQ(0, fstat(fds[1], &status));
    const std::string dev = std::to_string(status.st_dev) + ":";
    const std::string self = dev + std::to_string(status.st_ino);
    const struct {
        bool set;
        std::string env;
        bool journal;
    } cases[] = {
        {false, "", false},
        {true, self, true},
        {true, dev + std::to_string(status.st_ino + 1), false},
        {true, "+" + self, false},
        {true, self + ":1", false},
    };
    for (const auto& c : cases) {
        ScopedEnv env("JOURNAL_STREAM", c.set ? c.env.c_str() : nullptr);
        EXPECT_EQ(c.journal, ServiceManager::isJournal(fds[1])) << c.env;
    }
    close(fds[0]);
    close(fds[1]);
    ScopedEnv env("JOURNAL_STREAM", self.c_str());
    EXPECT_FALSE(ServiceManager::isJournal(fds[1]));  // closed
}

}  // namespace
