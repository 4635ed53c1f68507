#include "SessionLog.h"

#include <errno.h>
#include <time.h>

#include <cstring>

namespace {

std::string timestamp() {
    struct timespec now = {0, 0};
    struct tm parts;
    char text[40] = "";
    if (clock_gettime(CLOCK_REALTIME, &now) == 0 && gmtime_r(&now.tv_sec, &parts) != nullptr) {
        const size_t length = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
        std::snprintf(text + length, sizeof text - length, ".%03ldZ", now.tv_nsec / 1000000L);
    }
    return text;
}

bool isText(const std::string& bytes) {
    for (unsigned char c : bytes) {
        if ((c < 0x20 && c != '\t') || c == 0x7f) {
            return false;
        }
    }
    return true;
}

std::string hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text = std::to_string(bytes.size()) + " bytes:";
    for (unsigned char c : bytes) {
        text += ' ';
        text += kDigits[c >> 4];
        text += kDigits[c & 15];
    }
    return text;
}

}  // namespace

SessionLog::~SessionLog() {
    if (mFile != nullptr) {
        std::fclose(mFile);
    }
}

int SessionLog::open(const std::string& path, FILE* err, std::string* message) {
    mFile = std::fopen(path.c_str(), "ae");
    if (mFile == nullptr) {
        const int error = errno;
        *message = "cannot open the session log " + path + ": " + std::strerror(error);
        return error;
    }
    mErr = err;
    mPath = path;
    return 0;
}

void SessionLog::sent(const std::string& line) {
    std::string text = line;
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    write("sent", isText(text) ? text : hex(text));
}

void SessionLog::received(const Reply& reply) {
    if (reply.raw.empty()) {
        write("got", "no reply");
        return;
    }
    std::string text = reply.raw;
    const bool status = reply.kind == Reply::kOk || reply.kind == Reply::kFail;
    if (status && text.back() == '\0') {
        text.pop_back();
    }
    write("got", isText(text) ? text : hex(reply.raw));
}

void SessionLog::write(const char* what, const std::string& text) {
    if (mFile == nullptr || mFailed) {
        return;
    }
    if (std::fprintf(mFile, "%s %s %s\n", timestamp().c_str(), what, text.c_str()) < 0 ||
        std::fflush(mFile) != 0) {
        mFailed = true;
        std::fprintf(mErr, "dspctl: warning: cannot write the session log %s: %s\n", mPath.c_str(),
                     std::strerror(errno));
    }
}
