#include "ReplyReader.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>

#include "ReplyParser.h"

namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

ReplyReader::ReplyReader(int fd, int firstByteMs, int quietMs)
    : mFd(fd), mFirstByteMs(firstByteMs), mQuietMs(quietMs) {}

int ReplyReader::read(Reply* reply) {
    ReplyParser parser;
    auto deadline = Clock::now() + std::chrono::milliseconds(mFirstByteMs);
    char buffer[4096];
    int error = 0;
    while (!parser.done()) {
        struct pollfd pfd = {mFd, POLLIN, 0};
        const int ready = poll(&pfd, 1, msUntil(deadline));
        if (ready < 0) {
            error = errno;
            break;
        }
        if (ready == 0) {
            break;  // no first byte in time, or the line went quiet
        }
        if ((pfd.revents & POLLIN) == 0) {
            error = EIO;  // hang-up or error without data
            break;
        }
        const ssize_t got = ::read(mFd, buffer, sizeof buffer);
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0) {
            error = EIO;  // end of file: the other side is gone
            break;
        }
        // Bytes past the end of the reply belong to no command; they are
        // dropped here, and drain() takes any that come later.
        parser.feed(buffer, static_cast<size_t>(got));
        deadline = Clock::now() + std::chrono::milliseconds(mQuietMs);
    }
    *reply = parser.finish();
    return error;
}

int ReplyReader::drain(std::string* stale) {
    stale->clear();
    char buffer[4096];
    for (;;) {
        struct pollfd pfd = {mFd, POLLIN, 0};
        const int ready = poll(&pfd, 1, 0);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (ready == 0 || (pfd.revents & POLLIN) == 0) {
            return 0;
        }
        const ssize_t got = ::read(mFd, buffer, sizeof buffer);
        if (got < 0) {
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        stale->append(buffer, static_cast<size_t>(got));
        if (stale->size() > 65536) {
            return 0;  // a chattering line: enough to show, the rest is dropped next time
        }
    }
}
