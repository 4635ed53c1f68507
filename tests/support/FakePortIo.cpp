#include "FakePortIo.h"

#include <errno.h>
#include <string.h>

#include <algorithm>

void FakePortIo::pushRead(const std::string& bytes, int error) {
    std::lock_guard<std::mutex> lock(mMutex);
    mReads.emplace_back(bytes, error);
    mChanged.notify_all();
}

void FakePortIo::pushWrites(const std::vector<int>& results) {
    std::lock_guard<std::mutex> lock(mMutex);
    mWrites.insert(mWrites.end(), results.begin(), results.end());
}

std::string FakePortIo::written() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mWritten;
}

std::vector<std::string> FakePortIo::calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

bool FakePortIo::waitWritten(size_t count) const {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, kLimit, [&] { return mWritten.size() >= count; });
}

bool FakePortIo::waitReady() const {
    std::unique_lock<std::mutex> lock(mMutex);
    return mChanged.wait_for(lock, kLimit, [&] { return sink != nullptr; });
}

ssize_t FakePortIo::note(const char* call, ssize_t result) {
    mCalls.push_back(std::string(call) + " " + std::to_string(result));
    mChanged.notify_all();
    if (result >= 0) {
        return result;
    }
    errno = static_cast<int>(-result);
    return -1;
}

ssize_t FakePortIo::read(int /*fd*/, void* buffer, size_t size) {
    std::unique_lock<std::mutex> lock(mMutex);
    if (!mChanged.wait_for(lock, kLimit, [&] { return !mReads.empty(); })) {
        return note("read", 0);
    }
    const std::pair<std::string, int> step = mReads.front();
    mReads.pop_front();
    if (step.second != 0) {
        return note("read", -step.second);
    }
    // Whole: what a test scripts fits the worker's buffer.
    const size_t n = std::min(size, step.first.size());
    memcpy(buffer, step.first.data(), n);
    return note("read", static_cast<ssize_t>(n));
}

ssize_t FakePortIo::write(int /*fd*/, const void* data, size_t size) {
    std::lock_guard<std::mutex> lock(mMutex);
    ssize_t result = static_cast<ssize_t>(size);
    if (!mWrites.empty()) {
        result = std::min(result, static_cast<ssize_t>(mWrites.front()));
        mWrites.pop_front();
    }
    if (result > 0) {
        mWritten.append(static_cast<const char*>(data), static_cast<size_t>(result));
    }
    return note("write", result);
}

int FakePortIo::close(int fd) {
    std::lock_guard<std::mutex> lock(mMutex);
    return static_cast<int>(note("close", ::close(fd)));
}

bool FakePortIo::waitReadable(int /*fd*/, int timeoutMs) {
    std::lock_guard<std::mutex> lock(mMutex);
    note("wait", timeoutMs);
    return !mReads.empty();
}

bool FakePortIo::waitWritable(int /*fd*/, int timeoutMs) {
    std::lock_guard<std::mutex> lock(mMutex);
    note("room", timeoutMs);
    return false;
}

int FakePortIo::onCommand(char* line, int len, char* out, int outlen) {
    const std::string reply = "re:" + std::string(line, static_cast<size_t>(len - 1)) + '\0';
    std::lock_guard<std::mutex> lock(mMutex);
    note("line", outlen);
    return static_cast<int>(reply.copy(out, static_cast<size_t>(outlen)));
}

int FakePortIo::setNotify(NotifyFunc fn, void* ctx) {
    std::lock_guard<std::mutex> lock(mMutex);
    sink = fn;
    sinkCtx = ctx;
    return static_cast<int>(note("sink", 0));
}
