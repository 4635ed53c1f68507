#include "AudioThread.h"

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace {

// Shared between the object and its thread, so a thread whose object was
// destroyed from inside it can still finish without touching freed memory.
struct Control {
    std::mutex mutex;
    std::condition_variable ended;
    // requestExit() may run in a signal handler: only a lock-free store.
    std::atomic<bool> exitPending{false};
    bool running = false;     // the body has not ended yet
    uint64_t generation = 0;  // counts ended bodies; lets joiners tell one run from the next
};

static_assert(std::atomic<bool>::is_always_lock_free, "requestExit must be async-signal-safe");

struct StartArgs {
    AudioThread* self;
    std::shared_ptr<Control> control;
    char name[16];
};

}  // namespace

struct AudioThread::State {
    std::shared_ptr<Control> control = std::make_shared<Control>();
    pthread_t thread{};
    bool joinable = false;  // `thread` still has to be joined or detached

    static void* entry(void* arg);
    int reap();
    int waitForEnd(std::unique_lock<std::mutex>& lock);
};

void* AudioThread::State::entry(void* arg) {
    std::unique_ptr<StartArgs> args(static_cast<StartArgs*>(arg));
    Control& control = *args->control;
    if (args->name[0] != '\0') {
        // Only cosmetic (debuggers, ps): a failure leaves the inherited name.
        (void)pthread_setname_np(pthread_self(), args->name);
    }

    // After each call into the object, look only at `control`: the object may
    // have been destroyed by that call, and then exitPending is set.
    if (args->self->readyToRun() == 0) {
        while (!control.exitPending.load()) {
            if (!args->self->threadLoop()) {
                break;
            }
        }
    }

    std::lock_guard<std::mutex> lock(control.mutex);
    control.running = false;
    ++control.generation;
    control.ended.notify_all();
    return nullptr;
}

int AudioThread::State::reap() {
    joinable = false;
    int rc = pthread_join(thread, nullptr);
    return rc == 0 ? 0 : -rc;
}

// Waits, with `lock` held on control->mutex, until the current body ends, then
// reaps the thread. Returns a negative errno when called from the thread itself.
int AudioThread::State::waitForEnd(std::unique_lock<std::mutex>& lock) {
    if (!control->running) {
        // Ended but maybe not reaped: the body is done, so this join is short.
        return joinable ? reap() : 0;
    }
    if (pthread_equal(pthread_self(), thread)) {
        return -EDEADLK;
    }
    const uint64_t generation = control->generation;
    control->ended.wait(lock, [&] { return control->generation != generation; });
    // Another joiner may have reaped it already, or a new run() started another.
    return joinable && !control->running ? reap() : 0;
}

AudioThread::AudioThread(void* /*reserved*/) : mState(new State) {}

AudioThread::~AudioThread() {
    requestExit();
    {
        std::unique_lock<std::mutex> lock(mState->control->mutex);
        if (mState->control->running && pthread_equal(pthread_self(), mState->thread)) {
            // Destroyed from its own thread: the body sees exitPending once
            // the current call returns and ends on its own.
            if (mState->joinable) {
                mState->joinable = false;
                (void)pthread_detach(mState->thread);  // cannot fail for our own live thread
            }
        } else {
            (void)mState->waitForEnd(lock);
        }
    }
    delete mState;
}

int AudioThread::requestExit() {
    mState->control->exitPending.store(true);
    return 0;
}

int AudioThread::run(const char* name, int /*priority*/, int /*stack*/) {
    Control& control = *mState->control;
    std::unique_lock<std::mutex> lock(control.mutex);
    if (control.running) {
        return -EBUSY;
    }
    if (mState->joinable) {
        // The previous body has ended; reap it before starting anew.
        int rc = mState->reap();
        if (rc != 0) {
            return rc;
        }
    }

    StartArgs* args = new (std::nothrow) StartArgs{this, mState->control, {}};
    if (args == nullptr) {
        return -ENOMEM;
    }
    if (name != nullptr) {
        std::strncpy(args->name, name, sizeof args->name - 1);
    }

    control.exitPending.store(false);
    control.running = true;
    int rc = pthread_create(&mState->thread, nullptr, &State::entry, args);
    if (rc != 0) {
        control.running = false;
        delete args;
        return -rc;
    }
    mState->joinable = true;
    return 0;
}

int AudioThread::readyToRun() { return 0; }

int AudioThread::exitPending() const { return mState->control->exitPending.load() ? 1 : 0; }

int AudioThread::join() {
    std::unique_lock<std::mutex> lock(mState->control->mutex);
    return mState->waitForEnd(lock);
}

int AudioThread::requestExitAndWait() {
    requestExit();
    return join();
}
