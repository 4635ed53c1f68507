// Drives command lines through a real "dsp" group backed by the simulated
// service, recording the service calls and capturing the log lines; and small
// helpers the tests share.
#ifndef TESTS_SUPPORT_DSP_HARNESS_H
#define TESTS_SUPPORT_DSP_HARNESS_H

#include <string>
#include <vector>

#include "AudioCommand.h"
#include "SimService.h"

class DspHarness {
public:
    // Resets the simulated service to its defaults and records calls.
    DspHarness();
    ~DspHarness();

    struct Result {
        int count = 0;      // what the command returned
        std::string bytes;  // the first `count` bytes of the reply buffer
    };

    // Runs `text` (what follows "dsp" on a line, e.g. "vol 40\n") through the
    // group with a reply buffer of `capacity` bytes (the worker's by default).
    Result run(const std::string& text, int capacity = 8192);

    // The service calls made since the last run() began.
    std::vector<audiosim::Call> callRecords() const { return service().calls(); }
    // True when some log line since the last run() contains `needle`.
    bool logged(const std::string& needle) const { return mLog.contains(needle); }

    static audiosim::Service& service() { return audiosim::Service::instance(); }

private:
    audiosim::LogCapture mLog;
    AudioCommand* mGroup;
};

// "[ok]" and "[fail]" as they go on the wire, NUL included.
extern const std::string kOkReply;
extern const std::string kFailReply;

// Reads `fd` until `n` bytes have come, nothing has come for `quietMs` (by
// default: `maxMs`) or `maxMs` have passed.
std::string readFor(int fd, size_t n, int maxMs = 5000, int quietMs = -1);

// Sets an environment variable (unsets it for nullptr) while alive.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* mName;
    bool mHad;
    std::string mOld;
};

#endif  // TESTS_SUPPORT_DSP_HARNESS_H
