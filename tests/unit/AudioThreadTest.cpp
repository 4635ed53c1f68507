// The simulated thread class the serial worker runs on.
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <functional>
#include <future>
#include <thread>

#include "AudioThread.h"

namespace {

// Runs the given functions as readyToRun() and threadLoop(), counting calls.
// Its destructor only asks for the exit and runs `leaving`: ~AudioThread()
// must end a thread that still runs.
class TestThread : public AudioThread {
public:
    std::function<int()> ready = [] { return 0; };
    std::function<bool()> loop = [this] { return loopCalls < 5; };
    std::function<void()> leaving = [] {};
    std::atomic<int> readyCalls{0}, loopCalls{0};

    TestThread() : AudioThread(nullptr) {}
    ~TestThread() override {
        requestExit();
        leaving();
    }
    int readyToRun() override { return ++readyCalls, ready(); }
    bool threadLoop() override { return ++loopCalls, loop(); }
};

TEST(AudioThreadTest, ReadyToRunOnceThenTheLoopUntilFalseOrAnExitRequest) {
    for (const int ready : {0, -1}) {  // a failed readyToRun() skips the loop
        SCOPED_TRACE(ready);
        TestThread t;
        EXPECT_EQ(0, t.join());  // nothing runs yet
        EXPECT_EQ(0, t.requestExit());
        int pendingInThread = -1, joinInThread = 0;
        char name[32] = {};
        t.ready = [&] {
            pendingInThread = t.exitPending();  // run() cleared it
            joinInThread = t.join();
            pthread_getname_np(pthread_self(), name, sizeof name);
            return ready;
        };
        ASSERT_EQ(0, t.run("0123456789abcdefghij", 0, 0));
        EXPECT_EQ(0, t.join());
        EXPECT_EQ(0, pendingInThread);
        EXPECT_EQ(-EDEADLK, joinInThread);
        EXPECT_STREQ("0123456789abcde", name);  // cut to 15 characters
        EXPECT_EQ(ready == 0 ? 5 : 0, t.loopCalls);

        // An ended thread runs again; while it runs, run() is refused.
        std::promise<void> looping;
        t.ready = [] { return 0; };
        t.loop = [&] {
            if (t.loopCalls == 1) looping.set_value();
            std::this_thread::yield();
            return true;
        };
        t.loopCalls = 0;
        ASSERT_EQ(0, t.run("spin", 0, 0));
        looping.get_future().wait();
        EXPECT_EQ(-EBUSY, t.run("second", 0, 0));
        EXPECT_EQ(0, t.requestExitAndWait());
        EXPECT_NE(0, t.exitPending());
        EXPECT_EQ(0, t.join());  // ended: returns at once
        EXPECT_EQ(2, t.readyCalls);
    }
}

TEST(AudioThreadTest, DestructorJoinsRunningThread) {
    std::promise<void> inLoop, release;
    std::atomic<int> returns{0};
    auto* t = new TestThread;
    t->loop = [&] {
        // Once released, only what lives on this stack: the function and
        // the object go while it runs.
        std::atomic<int>& returned = returns;
        std::future<void> released = release.get_future();
        inLoop.set_value();
        released.wait();
        ++returned;
        return true;
    };
    t->leaving = [&] { release.set_value(); };
    ASSERT_EQ(0, t->run("dtor", 0, 0));
    inLoop.get_future().wait();
    delete t;
    EXPECT_EQ(1, returns);  // the loop returned and was not called again
}

}  // namespace
