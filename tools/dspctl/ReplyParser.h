// Tells the three kinds of reply apart from the bytes as they arrive, with no
// knowledge of the command that was sent:
//   "[" starts "[ok]" or "[fail]", which end with their NUL;
//   "d" starts a report line ("dsp sync:...", "dsp hfsync:..."), which has no
//       NUL and is complete when it ends in ":[ok]";
//   a NUL byte starts an MP.bin frame (its 4-byte big-endian length is at most
//       2560, so the first byte is 0), followed by "[ok]" and its NUL.
// Pure: works on byte buffers, no I/O, no clock. The caller feeds bytes until
// done() and calls finish() when the line went quiet or the time ran out.
// Not thread-safe; one parser per reply.
#ifndef TOOLS_DSPCTL_REPLY_PARSER_H
#define TOOLS_DSPCTL_REPLY_PARSER_H

#include <cstddef>
#include <string>

#include "Reply.h"

class ReplyParser {
public:
    // Largest report line the server sends: its reply buffer less the NUL
    // and the byte its formatter holds back.
    static constexpr size_t kMaxReportLength = 8190;
    static constexpr size_t kMaxBlobLength = 2560;
    static constexpr size_t kFrameHeaderLength = 4;

    // Takes up to `len` bytes and returns how many it used: bytes after a
    // complete reply are left to the caller (they belong to no reply).
    size_t feed(const char* data, size_t len);

    // True once the reply is complete or known to be malformed; more bytes
    // would change nothing.
    bool done() const { return mDone; }

    // Ends the reply with what has come: a report without its end mark is
    // kTruncated, a short status or frame is kMalformed, no bytes is kNone.
    // Returns the reply; the parser is spent afterwards.
    Reply finish();

private:
    enum State { kStart, kStatus, kReport, kHeader, kBlob, kAfterBlob, kEnded };

    void take(char byte);
    void endStatus();
    void malformed(const std::string& problem);

    State mState = kStart;
    Reply mReply;
    std::string mStatus;  // the status text being read, without its NUL
    size_t mBlobLength = 0;
    bool mDone = false;
};

#endif  // TOOLS_DSPCTL_REPLY_PARSER_H
