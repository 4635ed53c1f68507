// Thread base class of the audio service client library.
//
// A subclass overrides threadLoop() and starts the thread with run(). The
// thread calls readyToRun() once, then threadLoop() again and again while it
// returns true and no exit has been requested.
//
// Thread-safety: every operation may be called from any thread. join() and
// requestExitAndWait() refuse to wait when called from the thread itself.
//
// A subclass must stop the thread (requestExitAndWait()) in its own
// destructor: by the time ~AudioThread() runs, the subclass part is gone, yet
// a running thread may still be inside threadLoop().
#ifndef CLIENT_AUDIO_THREAD_H
#define CLIENT_AUDIO_THREAD_H

class AudioThread {
public:
    // The argument is reserved by the library; callers pass nullptr.
    explicit AudioThread(void* reserved);

    // Requests an exit and joins a running thread, so an object never leaves a
    // thread behind. Destroying the object from its own thread detaches it;
    // the thread then ends as soon as the current call into the object returns.
    virtual ~AudioThread();

    // Asks the thread to stop after the current threadLoop() returns.
    // Never blocks. Returns 0. A single atomic store, so it is
    // async-signal-safe: a signal handler may call it.
    virtual int requestExit();

    // Starts the thread (joinable). `name` names it for debuggers (cut to 15
    // characters); `priority` and `stack` are kept for the device library's
    // signature and ignored here. Returns 0 when the thread has started, a
    // negative errno value when it is already running or cannot be created.
    virtual int run(const char* name, int priority, int stack);

    // The thread body. Returning false ends the thread.
    virtual bool threadLoop() = 0;

    // Called once on the new thread before the first threadLoop(). A non-zero
    // result ends the thread without calling threadLoop(). Returns 0 here.
    virtual int readyToRun();

    // Non-zero once an exit has been requested; run() clears it.
    int exitPending() const;

    // Waits until the thread body has ended; returns at once with 0 when no
    // thread runs. Returns a negative errno value when called from the thread
    // itself.
    int join();

    // requestExit() followed by join(), with the same results as join().
    int requestExitAndWait();

    AudioThread(const AudioThread&) = delete;
    AudioThread& operator=(const AudioThread&) = delete;

private:
    struct State;
    State* mState;  // owned
};

#endif  // CLIENT_AUDIO_THREAD_H
