// The session log of --log FILE: one line per line sent and per reply
// received, each after its time (UTC, to the millisecond):
//
//   2026-12-07T15:20:01.123Z sent dsp vol 14
//   2026-12-07T15:20:01.125Z got [ok]
//   2026-12-07T15:20:02.301Z got 306 bytes: 00 00 01 28 1f 20 ...
//
// A reply of text (with the NUL that ends "[ok]" and "[fail]" left out) is
// written as it came; one with other bytes (an MP.bin frame) in hex; none
// in time as "got no reply". Each line is flushed as it is written, so the
// log is whole whenever dspctl ends. The file is appended to.
// Not thread-safe.
#ifndef TOOLS_DSPCTL_SESSION_LOG_H
#define TOOLS_DSPCTL_SESSION_LOG_H

#include <cstdio>
#include <string>

#include "Reply.h"

class SessionLog {
public:
    SessionLog() = default;
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Opens `path` for appending; a failed write later is said once on `err`.
    // Returns 0, or errno with a message for people in *message.
    int open(const std::string& path, FILE* err, std::string* message);

    void sent(const std::string& line);
    void received(const Reply& reply);

private:
    void write(const char* what, const std::string& text);

    FILE* mFile = nullptr;
    FILE* mErr = nullptr;
    std::string mPath;
    bool mFailed = false;
};

#endif  // TOOLS_DSPCTL_SESSION_LOG_H
