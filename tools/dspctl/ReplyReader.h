// Reads one reply from a file descriptor (a serial port, the master end of a
// pseudo-terminal, a pipe in tests) with poll() and deadlines, and hands the
// bytes to a ReplyParser.
//
// Timing: the first byte must come within `firstByteMs`; after that the reply
// is read until it is complete, or until nothing has come for `quietMs` (a
// report cut without its end mark is recognised that way). Every wait is
// bounded, so a read always ends.
// Not thread-safe; the descriptor is not owned.
#ifndef TOOLS_DSPCTL_REPLY_READER_H
#define TOOLS_DSPCTL_REPLY_READER_H

#include <string>

#include "Reply.h"

class ReplyReader {
public:
    ReplyReader(int fd, int firstByteMs, int quietMs);

    // Reads one reply into *reply. Returns 0, or the errno value of a failed
    // poll() or read() (EINTR when a signal broke the wait); *reply then holds
    // what had come, finished as by ReplyParser::finish().
    int read(Reply* reply);

    // Reads and returns in *stale whatever is already waiting (a reply that
    // came after its timeout), without waiting for more. Returns 0 or errno.
    int drain(std::string* stale);

private:
    int mFd;
    int mFirstByteMs;
    int mQuietMs;
};

#endif  // TOOLS_DSPCTL_REPLY_READER_H
