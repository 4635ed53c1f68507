// Fuzz target: each item's argument handling, and the MP.bin hex parser.
//
// Input: byte 0 picks the item (its remainder by 17: the sixteen items in
// the group's order, then the MP.bin text parser alone); byte 1 picks a
// service operation that fails for this input (its remainder by 64, when it
// names one of the operations; otherwise none fails); byte 2 picks the reply
// buffer's size (0: 8192, else 32 times its value) or, for the parser, the
// blob's capacity (0: 2560, else 10 times its value). The rest is the text
// after the item's keyword. The text sits in a heap block of its exact size,
// so a read past it is caught. The simulated service is reset every time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "AudioCommand.h"
#include "FuzzChecks.h"
#include "MpBinText.h"
#include "SimService.h"

namespace {

const char* const kItems[] = {"status", "sync", "vol", "cvol", "delay", "eq",     "bq",    "ftr",
                              "loud",   "sig",  "spk", "bteq", "hfaec", "hfsync", "mpbin", "getmp"};
constexpr size_t kItemCount = sizeof kItems / sizeof kItems[0];

void runParser(const uint8_t* text, size_t length, uint8_t choice) {
    const int capacity = choice == 0 ? 2560 : 10 * choice;
    std::vector<uint8_t> blob(static_cast<size_t>(capacity));
    std::vector<char> exact(text, text + length);  // no NUL: the parser must not need one
    const MpBinTextResult r = parseMpBinText(exact.data(), exact.size(), blob.data(), capacity);
    fuzzCheck(r.fields >= 0 && r.fields <= capacity, "field count outside the blob");
    if (r.status == MpBinTextResult::kOk) {
        fuzzCheck(r.fields >= 1, "a parse without a field");
    }
    if (r.status == MpBinTextResult::kTooManyFields) {
        fuzzCheck(r.fields == capacity, "too many fields reported before the blob was full");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    silenceEcho();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const size_t item = data[0] % (kItemCount + 1);
    if (item == kItemCount) {
        runParser(data + 3, size - 3, data[2]);
        return 0;
    }
    audiosim::LogCapture quiet;
    audiosim::Service& service = audiosim::Service::instance();
    service.reset();
    const std::vector<std::string>& operations = audiosim::Service::operationNames();
    const size_t failing = data[1] % 64;
    if (failing < operations.size()) {
        service.setFailing(operations[failing]);
    }
    const int capacity = data[2] == 0 ? 8192 : 32 * data[2];

    AudioCommand group;
    group.setNotify(&checkFrame, nullptr);
    std::string line = std::string(kItems[item]) + " ";
    line.append(reinterpret_cast<const char*>(data + 3), size - 3);
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    std::vector<char> reply(static_cast<size_t>(capacity), '\0');
    const int count =
        group.exec(text.data(), static_cast<int>(line.size()), reply.data(), capacity);
    checkReply(reply.data(), count, capacity);
    service.reset();
    return 0;
}
