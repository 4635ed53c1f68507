#include "FuzzChecks.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void fuzzCheck(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

void checkReply(const char* reply, int count, int capacity) {
    if (count <= 0) {
        return;
    }
    fuzzCheck(count <= capacity, "reply longer than its buffer");
    if (count == 5 && std::memcmp(reply, "[ok]", 5) == 0) {
        return;
    }
    if (count == 7 && std::memcmp(reply, "[fail]", 7) == 0) {
        return;
    }
    const bool report =
        std::strncmp(reply, "dsp sync:", 9) == 0 || std::strncmp(reply, "dsp hfsync:", 11) == 0;
    fuzzCheck(report, "reply is neither [ok], [fail] nor a report");
    fuzzCheck(count < capacity && reply[count] == '\0', "report length is not its text's");
    fuzzCheck(std::strlen(reply) == static_cast<size_t>(count), "report holds a NUL");
}

void checkFrame(void* /*ctx*/, unsigned char* data, unsigned int len) {
    fuzzCheck(data != nullptr && len >= 4, "frame without its length");
    const uint32_t blob = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                          (uint32_t{data[2]} << 8) | uint32_t{data[3]};
    fuzzCheck(blob == 296 || blob == 2560, "frame of an unknown blob size");
    fuzzCheck(len == blob + 4, "frame length and blob size disagree");
}

void silenceEcho() { fuzzCheck(std::freopen("/dev/null", "w", stdout) != nullptr, "no /dev/null"); }
