// Fuzz target: the serial framing and the whole command tree.
//
// The input is what a peer sends, cut into reads: its first byte picks the
// cut (0: reads as large as the worker's, 8192 bytes; n: reads of 1 to 4n
// bytes from a fixed pseudo-random sequence seeded with n); its second picks
// a service operation that fails for this input (its remainder by 64, when
// it names one of the operations; otherwise none fails); the rest is the
// byte stream. The bytes go through the worker's LineAssembler into
// UartWorkerCallBackImpl, the root Command and the "dsp" group on the
// simulated service, reset for every input; no thread, no terminal. Every
// reply and frame is checked: a failed check aborts the run, so libFuzzer
// and the corpus driver both report it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "AudioCommand.h"
#include "Command.h"
#include "LineAssembler.h"
#include "SimService.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

// Aborts with `what` on standard error unless `condition` holds.
void fuzzCheck(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

// A command's result `count` for a reply buffer of `capacity` bytes: nothing
// (0 or less), "[ok]" or "[fail]" with their NUL, or a report line of
// exactly `count` characters, NUL after it, within the buffer.
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

// The sink for the only data sent besides the reply, the MP.bin frame: 4
// bytes of big-endian length and as many bytes of blob (296 or 2560).
void checkFrame(void* /*ctx*/, unsigned char* data, unsigned int len) {
    fuzzCheck(data != nullptr && len >= 4, "frame without its length");
    const uint32_t blob = (uint32_t{data[0]} << 24) | (uint32_t{data[1]} << 16) |
                          (uint32_t{data[2]} << 8) | uint32_t{data[3]};
    fuzzCheck(blob == 296 || blob == 2560, "frame of an unknown blob size");
    fuzzCheck(len == blob + 4, "frame length and blob size disagree");
}

constexpr int kBufferSize = UartWorker::kBufferSize;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    // The echo of every dispatched line goes nowhere.
    fuzzCheck(std::freopen("/dev/null", "w", stdout) != nullptr, "no /dev/null");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    audiosim::LogCapture quiet;  // the log would cost more than the run
    audiosim::Service& service = audiosim::Service::instance();
    service.reset();
    const std::vector<std::string>& operations = audiosim::Service::operationNames();
    if (data[1] % 64u < operations.size()) {
        service.setFailing(operations[data[1] % 64u]);
    }
    Command root;
    root.add(new AudioCommand());
    UartWorkerCallBackImpl callback(&root);
    callback.setNotify(&checkFrame, nullptr);

    // The worker's three buffers, zero-filled, at their sizes.
    std::vector<char> readBuf(kBufferSize + 1, '\0');
    std::vector<char> lineBuf(kBufferSize, '\0');
    std::vector<char> replyBuf(kBufferSize, '\0');
    LineAssembler lines(lineBuf.data(), kBufferSize);

    // The size of the next read, when `left` bytes remain.
    const uint32_t scale = 4u * data[0];
    uint32_t state = data[0];
    auto nextCut = [&](size_t left) {
        size_t cut = kBufferSize;
        if (scale != 0) {
            state = state * 1103515245u + 12345u;
            cut = 1 + (state >> 16) % scale;
        }
        return cut < left ? cut : left;
    };
    const uint8_t* stream = data + 2;
    size_t left = size - 2;
    while (left > 0) {
        const size_t n = nextCut(left);
        std::memcpy(readBuf.data(), stream, n);
        lines.feed(
            readBuf.data(), static_cast<int>(n),
            [&](char* line, int len) {
                fuzzCheck(len > 1 && len < kBufferSize && line[len] == '\0',
                          "line handed on without its NUL");
                const int count = callback.onCommand(line, len, replyBuf.data(), kBufferSize);
                checkReply(replyBuf.data(), count, kBufferSize);
                std::memset(replyBuf.data(), 0, kBufferSize);
            },
            [] {});
        std::memset(readBuf.data(), 0, n);
        stream += n;
        left -= n;
    }
    service.reset();
    return 0;
}
