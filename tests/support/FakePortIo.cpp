#include "FakePortIo.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace {

// How long an unscripted read or wait blocks: long enough not to spin the
// test, short enough that a stop request is seen quickly.
constexpr auto kIdle = std::chrono::milliseconds(20);

std::string errorName(int error) {
    switch (error) {
        case EINTR:
            return "EINTR";
        case EIO:
            return "EIO";
        default:
            return std::to_string(error);
    }
}

}  // namespace

void FakePortIo::pushRead(const Step& step) {
    std::lock_guard<std::mutex> lock(mMutex);
    mReads.push_back(step);
    mChanged.notify_all();
}

void FakePortIo::pushWrite(const Step& step) {
    std::lock_guard<std::mutex> lock(mMutex);
    mWrites.push_back(step);
}

void FakePortIo::setPeerGone(bool gone, int error) {
    std::lock_guard<std::mutex> lock(mMutex);
    mPeerGone = gone;
    mGoneError = error;
    mChanged.notify_all();
}

std::string FakePortIo::written() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mWritten;
}

std::vector<int> FakePortIo::waits() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mWaits;
}

std::vector<std::string> FakePortIo::log() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mLog;
}

int FakePortIo::closes() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCloses;
}

bool FakePortIo::waitUntil(const std::function<bool(const FakePortIo&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        // `done` reads through the locking accessors, so it runs unlocked;
        // the short wait covers a change made between the check and the wait.
        if (done(*this)) {
            return true;
        }
        std::unique_lock<std::mutex> lock(mMutex);
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        mChanged.wait_for(lock, std::chrono::milliseconds(10));
    }
}

void FakePortIo::note(std::string entry) {
    mLog.push_back(std::move(entry));
    mChanged.notify_all();
}

ssize_t FakePortIo::read(int /*fd*/, void* buffer, size_t size) {
    std::unique_lock<std::mutex> lock(mMutex);
    if (mPeerGone) {
        note("read -> " + (mGoneError != 0 ? errorName(mGoneError) : std::string("0")));
        if (mGoneError != 0) {
            errno = mGoneError;
            return -1;
        }
        return 0;
    }
    if (mReads.empty()) {
        mChanged.wait_for(lock, kIdle, [&] { return !mReads.empty() || mPeerGone; });
    }
    if (mReads.empty() || mPeerGone) {
        note("read -> 0");
        return 0;
    }
    Step& step = mReads.front();
    if (step.error != 0) {
        note("read -> " + errorName(step.error));
        errno = step.error;
        mReads.pop_front();
        return -1;
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
        note(offered + " -> EIO");
        errno = EIO;
        return -1;
    }
    size_t take = size;
    if (!mWrites.empty()) {
        const Step step = mWrites.front();
        mWrites.pop_front();
        if (step.error != 0) {
            note(offered + " -> " + errorName(step.error));
            errno = step.error;
            return -1;
        }
        take = std::min(size, static_cast<size_t>(step.accept));
    }
    mWritten.append(static_cast<const char*>(data), take);
    note(offered + " -> " + std::to_string(take));
    return static_cast<ssize_t>(take);
}

int FakePortIo::close(int fd) {
    std::lock_guard<std::mutex> lock(mMutex);
    ++mCloses;
    note("close");
    return ::close(fd);
}

bool FakePortIo::waitReadable(int /*fd*/, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mMutex);
    mWaits.push_back(timeoutMs);
    note("wait " + std::to_string(timeoutMs));
    const auto limit = std::min(std::chrono::milliseconds(timeoutMs),
                                std::chrono::duration_cast<std::chrono::milliseconds>(kIdle));
    mChanged.wait_for(lock, limit, [&] { return !mPeerGone && !mReads.empty(); });
    return !mPeerGone && !mReads.empty();
}
