#include "DspHarness.h"

#include <stdlib.h>

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

namespace {

// Sets `name` to `value`, or unsets it for nullptr.
void put(const char* name, const char* value) {
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const char* value)
    : mName(name), mHad(getenv(name) != nullptr), mOld(mHad ? getenv(name) : "") {
    put(name, value);
}

ScopedEnv::~ScopedEnv() { put(mName, mHad ? mOld.c_str() : nullptr); }
