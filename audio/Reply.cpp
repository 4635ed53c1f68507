#include "Reply.h"

#include <cstdarg>
#include <cstring>

#include "AppendFormat.h"

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

int replyReport(char* out, int outlen, const char* format, ...) {
    if (out == nullptr || outlen < 1) {
        return 0;
    }
    out[0] = '\0';
    va_list args;
    va_start(args, format);
    appendFormatV(out, outlen, format, args);
    va_end(args);
    return static_cast<int>(std::strlen(out));
}
