// Running under a service manager: the readiness message and the journal test
// of a descriptor (ServiceE2ETest checks readiness and the echo on the journal).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "DspHarness.h"
#include "ServiceManager.h"

namespace {

// READY=1 reaching a path or an abstract name is checked end to end
// (ServiceE2ETest); here, the addresses that cannot be reached.
TEST(ServiceManagerTest, ReadinessWithoutAUsableNotifySocket) {
    const std::string longPath = "/" + std::string(200, 'x');
    const struct {
        const char* env;
        int result;  // 0 exactly; -1 for any negative errno value
    } cases[] = {
        {nullptr, 0},           {"", 0},
        {"notify", -1},  // relative
        {longPath.c_str(), -1}, {"/nonexistent-dspd/notify", -1},
    };
    for (const auto& c : cases) {
        ScopedEnv env("NOTIFY_SOCKET", c.env);
        const int result = ServiceManager::notifyReady();
        EXPECT_TRUE(c.result < 0 ? result < 0 : result == c.result) << result << " " << c.env;
    }
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
