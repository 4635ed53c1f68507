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
class TestThread : public AudioThread {
public:
    std::function<int()> ready = [] { return 0; };
    std::function<bool()> loop = [this] { return loopCalls < 5; };
    std::atomic<int> readyCalls{0}, loopCalls{0};

    TestThread() : AudioThread(nullptr) {}
    ~TestThread() override { requestExitAndWait(); }
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
        const int calls = t.loopCalls;
        EXPECT_EQ(0, t.join());  // ended: returns at once
        EXPECT_EQ(calls, t.loopCalls);
        EXPECT_EQ(2, t.readyCalls);
    }
}

// ~AudioThread() ends a thread still in its loop: the subclass's destructor
// only asks for the exit and releases the loop. What the loop touches belongs
// to the test, so nothing it uses dies with the subclass.
struct Probe {
    std::promise<void> inLoop, release;
    std::atomic<int> returns{0};
    std::atomic<bool> exited{false};
};

class BaseStoppedThread : public AudioThread {
public:
    explicit BaseStoppedThread(Probe& probe) : AudioThread(nullptr), mProbe(probe) {}
    ~BaseStoppedThread() override {
        requestExit();
        mProbe.release.set_value();
    }
    bool threadLoop() override {
        Probe& probe = mProbe;
        // Set at thread exit, after the body has left the object for good.
        static thread_local struct OnExit {
            std::atomic<bool>* flag;
            ~OnExit() { *flag = true; }
        } onExit{&probe.exited};
        probe.inLoop.set_value();
        probe.release.get_future().wait();
        ++probe.returns;
        return true;
    }

private:
    Probe& mProbe;
};

TEST(AudioThreadTest, DestructorJoinsRunningThread) {
    Probe probe;
    auto* t = new BaseStoppedThread(probe);
    ASSERT_EQ(0, t->run("dtor", 0, 0));
    probe.inLoop.get_future().wait();
    delete t;
    EXPECT_EQ(1, probe.returns);  // the loop returned and was not called again
    EXPECT_TRUE(probe.exited);    // the thread had ended when delete returned
}

}  // namespace
