// What the server answered to one command line, as the peer tells it apart.
#ifndef TOOLS_DSPCTL_REPLY_H
#define TOOLS_DSPCTL_REPLY_H

#include <string>

struct Reply {
    enum Kind {
        kNone,       // nothing came
        kOk,         // "[ok]" and its NUL
        kFail,       // "[fail]" and its NUL
        kReport,     // a report line ending in ":[ok]" (no NUL follows a report)
        kTruncated,  // a report line that went quiet without its end mark
        kFrame,      // an MP.bin frame whose header matched its bytes, then "[ok]"
        kMalformed,  // anything else: see `problem`
    };

    Kind kind = kNone;
    std::string raw;      // every byte received for this reply
    std::string report;   // kReport, kTruncated: the report line
    std::string blob;     // kFrame: the blob, without the 4-byte length header
    std::string problem;  // kMalformed: what was wrong, for people
};

// "ok", "fail", "report", ... for messages.
const char* replyKindName(Reply::Kind kind);

#endif  // TOOLS_DSPCTL_REPLY_H
