#include "FakePortIo.h"

#include <errno.h>
#include <string.h>

#include <algorithm>
#include <chrono>

namespace {

// How long an unscripted read or wait blocks: long enough not to spin the
// test, short enough that a stop request is seen quickly.
constexpr auto kIdle = std::chrono::milliseconds(20);

std::string errorName(int error) {
    return error == EINTR    ? "EINTR"
           : error == EIO    ? "EIO"
           : error == EAGAIN ? "EAGAIN"
                             : std::to_string(error);
}

}  // namespace

bool FakePortIo::waitUntil(const std::function<bool(const FakePortIo&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // `done` reads through the locking accessors, so it runs unlocked; the
    // short wait covers a change made between the check and the wait.
    while (!done(*this)) {
        std::unique_lock<std::mutex> lock(mMutex);
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        mChanged.wait_for(lock, std::chrono::milliseconds(10));
    }
    return true;
}

void FakePortIo::note(std::string entry) {
    mSeen.log.push_back(std::move(entry));
    mChanged.notify_all();
}

ssize_t FakePortIo::fail(const std::string& entry, int error) {
    note(entry + " -> " + errorName(error));
    errno = error;
    return -1;
}

ssize_t FakePortIo::read(int /*fd*/, void* buffer, size_t size) {
    std::unique_lock<std::mutex> lock(mMutex);
    if (mPeerGone && mGoneError != 0) {
        return fail("read", mGoneError);
    }
    if (!mPeerGone && mReads.empty()) {
        mChanged.wait_for(lock, kIdle, [&] { return !mReads.empty() || mPeerGone; });
    }
    if (mReads.empty() || mPeerGone) {
        note("read -> 0");
        return 0;
    }
    Step& step = mReads.front();
    if (step.error != 0) {
        const int error = step.error;
        mReads.pop_front();
        return fail("read", error);
    }
    const size_t n = std::min(size, step.bytes.size());
    memcpy(buffer, step.bytes.data(), n);
    step.bytes.erase(0, n);
    if (step.bytes.empty()) {
        mReads.pop_front();
    }
    note("read " + std::to_string(n));
    return static_cast<ssize_t>(n);
}

ssize_t FakePortIo::write(int /*fd*/, const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(mMutex);
    const std::string offered = "write " + std::to_string(size);
    if (mPeerGone) {
        return fail(offered, EIO);
    }
    size_t take = size;
    if (!mWrites.empty()) {
        const Step step = mWrites.front();
        mWrites.pop_front();
        if (step.error != 0) {
            return fail(offered, step.error);
        }
        take = std::min(size, static_cast<size_t>(step.accept));
    }
    mSeen.written.append(static_cast<const char*>(data), take);
    note(offered + " -> " + std::to_string(take));
    return static_cast<ssize_t>(take);
}

int FakePortIo::close(int fd) {
    std::lock_guard<std::mutex> lock(mMutex);
    ++mSeen.closes;
    note("close");
    return ::close(fd);
}

bool FakePortIo::waitReadable(int /*fd*/, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    mSeen.waits.push_back(timeoutMs);
    note("wait " + std::to_string(timeoutMs));
    const auto limit = std::min(std::chrono::milliseconds(timeoutMs),
                                std::chrono::duration_cast<std::chrono::milliseconds>(kIdle));
    mChanged.wait_for(lock, limit, [&] { return !mPeerGone && !mReads.empty(); });
    return !mPeerGone && !mReads.empty();
}

bool FakePortIo::waitWritable(int /*fd*/, int timeoutMs) {
    std::lock_guard<std::mutex> lock(mMutex);
    note("wait for write " + std::to_string(timeoutMs));
    return false;
}

int RecordingCallback::onCommand(char* line, int len, char* out, int outlen) {
    const std::string text(line, static_cast<size_t>(len));
    const std::string reply = answer ? answer(text) : std::string("[ok]", 5);
    reply.copy(out, std::min(reply.size(), static_cast<size_t>(outlen)));
    std::lock_guard<std::mutex> lock(mMutex);
    mOutlen = outlen;
    return static_cast<int>(reply.size());
}

int RecordingCallback::setNotify(NotifyFunc fn, void* ctx) {
    std::lock_guard<std::mutex> lock(mMutex);
    mSink = fn;
    mSinkCtx = ctx;
    mReady.notify_all();
    return 0;
}

bool RecordingCallback::waitReady() {
    std::unique_lock<std::mutex> lock(mMutex);
    return mReady.wait_for(lock, std::chrono::seconds(5), [&] { return mSink != nullptr; });
}
