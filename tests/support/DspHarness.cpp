#include "DspHarness.h"

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

std::vector<std::string> DspHarness::calls() const {
    return audiosim::Service::instance().callNames();
}

std::vector<audiosim::Call> DspHarness::callRecords() const {
    return audiosim::Service::instance().calls();
}

std::vector<std::string> DspHarness::log() const { return mLog.lines(); }

bool DspHarness::logged(const std::string& needle) const { return mLog.contains(needle); }
