// Running under a service manager: the readiness message and the journal test
// of a descriptor (ServiceE2ETest checks the echo on the journal).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "DspHarness.h"
#include "NotifySocket.h"
#include "ServiceManager.h"

namespace {

TEST(ServiceManagerTest, ReadinessGoesToTheNotifySocket) {
    NotifySocket path(false);
    NotifySocket abstract(true);
    ASSERT_TRUE(path.ok());
    ASSERT_TRUE(abstract.ok());
    const std::string longPath = "/" + std::string(200, 'x');
    const std::string nobody = path.dir() + "/nobody";
    const struct {
        const char* name;
        const char* env;
        NotifySocket* receiver;
        int result;  // 1 and 0 exactly; -1 for any negative errno value
    } cases[] = {
        {"unset", nullptr, nullptr, 0},
        {"path", path.address().c_str(), &path, 1},
        {"abstract name", abstract.address().c_str(), &abstract, 1},
        {"relative path", "notify", nullptr, -1},
        {"longer than an address", longPath.c_str(), nullptr, -1},
        {"nobody listening", nobody.c_str(), nullptr, -1},
    };
    for (const auto& c : cases) {
        ScopedEnv env("NOTIFY_SOCKET", c.env);
        const int result = ServiceManager::notifyReady();
        if (c.result < 0) {
            EXPECT_LT(result, 0) << c.name;
        } else {
            EXPECT_EQ(c.result, result) << c.name;
        }
        if (c.receiver != nullptr) {
            EXPECT_EQ("READY=1", c.receiver->receive(2000)) << c.name;
        }
    }
    // Nothing strayed to a socket it was not meant for.
    EXPECT_EQ("", path.receive(0));
    EXPECT_EQ("", abstract.receive(0));
}

TEST(ServiceManagerTest, JournalIsRecognisedByDeviceAndInode) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    const int other = open("/dev/null", O_WRONLY | O_CLOEXEC);  // never the journal
    ASSERT_GE(other, 0);
    struct stat status;
    ASSERT_EQ(0, fstat(fds[1], &status));
    const std::string dev = std::to_string(status.st_dev);
    const std::string ino = std::to_string(status.st_ino);
    const std::string otherIno = std::to_string(status.st_ino + 1);
    const std::string self = dev + ":" + ino;
    const struct {
        bool set;
        std::string env;
        bool journal;
    } cases[] = {
        {false, "", false},
        {true, self, true},
        {true, dev + ":" + otherIno, false},
        {true, dev + ":", false},
        {true, "+" + self, false},
        {true, self + ":1", false},
        {true, "99999999999999999999999:" + ino, false},
    };
    for (const auto& c : cases) {
        ScopedEnv env("JOURNAL_STREAM", c.set ? c.env.c_str() : nullptr);
        EXPECT_EQ(c.journal, ServiceManager::isJournal(fds[1])) << c.env;
        EXPECT_FALSE(ServiceManager::isJournal(other)) << c.env;
    }
    close(other);
    close(fds[0]);
    close(fds[1]);
    ScopedEnv env("JOURNAL_STREAM", self.c_str());
    EXPECT_FALSE(ServiceManager::isJournal(fds[1]));  // closed
}

}  // namespace
