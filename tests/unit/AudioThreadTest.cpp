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

// A gate the thread under test waits at until the test opens it.
struct Gate {
    std::promise<void> opened;
    std::shared_future<void> done = opened.get_future().share();
};

// Runs the given functions as readyToRun() and threadLoop(), counting calls.
class TestThread : public AudioThread {
public:
    std::function<int(TestThread&)> ready = [](TestThread&) { return 0; };
    std::function<bool(TestThread&)> loop = [](TestThread& self) { return self.loopCalls < 5; };
    std::atomic<int> readyCalls{0}, loopCalls{0};

    TestThread() : AudioThread(nullptr) {}
    ~TestThread() override { requestExitAndWait(); }
    int readyToRun() override { return ++readyCalls, ready(*this); }
    bool threadLoop() override { return ++loopCalls, loop(*this); }
};

TEST(AudioThreadTest, ReadyToRunOnceThenLoopsUntilFalse) {
    for (const int ready : {0, -1}) {  // a failed readyToRun() skips the loop
        TestThread t;
        EXPECT_EQ(0, t.join());  // nothing runs yet
        EXPECT_EQ(0, t.requestExit());
        EXPECT_NE(0, t.exitPending());
        int pendingInThread = -1, joinInThread = 0;
        char name[32] = {};
        t.ready = [&](TestThread& self) {
            pendingInThread = self.exitPending();  // run() cleared it
            joinInThread = self.join();
            pthread_getname_np(pthread_self(), name, sizeof name);
            return ready;
        };
        ASSERT_EQ(0, t.run("0123456789abcdefghij", 0, 0));
        EXPECT_EQ(0, t.join());
        EXPECT_EQ(0, pendingInThread);
        EXPECT_EQ(-EDEADLK, joinInThread);
        EXPECT_STREQ("0123456789abcde", name);  // cut to 15 characters
        EXPECT_EQ(1, t.readyCalls);
        EXPECT_EQ(ready == 0 ? 5 : 0, t.loopCalls);
    }
}

TEST(AudioThreadTest, RunWhileRunningIsRefusedAndAnExitRequestEndsTheLoop) {
    TestThread t;
    Gate looping;
    t.loop = [&looping](TestThread& self) {
        if (self.loopCalls == 1) looping.opened.set_value();
        std::this_thread::yield();
        return true;
    };
    ASSERT_EQ(0, t.run("spin", 0, 0));
    looping.done.wait();
    EXPECT_EQ(-EBUSY, t.run("second", 0, 0));
    EXPECT_EQ(0, t.requestExitAndWait());
    EXPECT_NE(0, t.exitPending());
    const int calls = t.loopCalls;
    EXPECT_EQ(0, t.join());  // ended: returns at once
    EXPECT_EQ(calls, t.loopCalls);
    t.loop = [](TestThread&) { return false; };
    ASSERT_EQ(0, t.run("again", 0, 0));  // an ended thread may run again
    EXPECT_EQ(0, t.join());
    EXPECT_EQ(2, t.readyCalls);
}

// Leaves stopping to ~AudioThread(): its own destructor only asks for the exit
// and lets the loop, blocked until then, return. The probe belongs to the
// test, so nothing the loop touches dies with the subclass.
struct Probe {
    Gate inLoop, release;
    std::atomic<int> returns{0};
    std::atomic<bool> exited{false};
};

class BaseStoppedThread : public AudioThread {
public:
    explicit BaseStoppedThread(Probe& probe) : AudioThread(nullptr), mProbe(&probe) {}
    ~BaseStoppedThread() override {
        requestExit();
        mProbe->release.opened.set_value();
    }
    bool threadLoop() override {
        Probe* probe = mProbe;
        // Set at thread exit, after the body has left the object for good.
        static thread_local struct OnExit {
            std::atomic<bool>* flag = nullptr;
            ~OnExit() { *flag = true; }
        } onExit;
        onExit.flag = &probe->exited;
        probe->inLoop.opened.set_value();
        probe->release.done.wait();
        ++probe->returns;
        return true;
    }

private:
    Probe* mProbe;
};

TEST(AudioThreadTest, DestructorJoinsRunningThread) {
    Probe probe;
    auto* t = new BaseStoppedThread(probe);
    ASSERT_EQ(0, t->run("dtor", 0, 0));
    probe.inLoop.done.wait();
    delete t;
    EXPECT_EQ(1, probe.returns);  // the loop returned and was not called again
    EXPECT_TRUE(probe.exited);    // the thread had ended when delete returned
}

}  // namespace
