#include "DspHarness.h"

#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

const std::string kOkReply("[ok]\0", 5);
const std::string kFailReply("[fail]\0", 7);

DspHarness::DspHarness() {
    service().reset();
    mGroup = new AudioCommand();
    service().recordCalls(true);
}

DspHarness::~DspHarness() {
    delete mGroup;
    service().reset();
}

DspHarness::Result DspHarness::run(const std::string& text, int capacity) {
    service().clearCalls();
    mLog.clear();
    // The worker hands lines on with a NUL after them, in a zeroed buffer.
    std::vector<char> line(text.begin(), text.end());
    line.push_back('\0');
    std::vector<char> out(static_cast<size_t>(capacity > 0 ? capacity : 1), '\0');
    Result result;
    result.count = mGroup->exec(line.data(), static_cast<int>(text.size()), out.data(), capacity);
    if (result.count > 0) {
        result.bytes.assign(out.data(), static_cast<size_t>(result.count));
    }
    return result;
}

std::vector<audiosim::Call> DspHarness::callRecords() const {
    return audiosim::Service::instance().calls();
}

bool DspHarness::logged(const std::string& needle) const { return mLog.contains(needle); }

std::string readFor(int fd, size_t n) {
    std::string data;
    char buffer[4096];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (data.size() < n && std::chrono::steady_clock::now() < deadline) {
        struct pollfd pfd = {fd, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) {
            continue;
        }
        const ssize_t got = read(fd, buffer, std::min(sizeof buffer, n - data.size()));
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : mName(name) {
    const char* old = getenv(name);
    mHad = old != nullptr;
    if (mHad) {
        mOld = old;
    }
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (mHad) {
        setenv(mName, mOld.c_str(), 1);
    } else {
        unsetenv(mName);
    }
}
