#include "Reply.h"

#include <cstring>

namespace {

int reply(const char* text, int size, char* out, int outlen) {
    if (out == nullptr || outlen < size) {
        return 0;
    }
    std::memcpy(out, text, static_cast<size_t>(size));
    return size;
}

}  // namespace

int replyOk(char* out, int outlen) { return reply("[ok]", 5, out, outlen); }

int replyFail(char* out, int outlen) { return reply("[fail]", 7, out, outlen); }
