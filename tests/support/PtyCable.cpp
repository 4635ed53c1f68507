#include "PtyCable.h"

#include <errno.h>
#include <poll.h>
#include <unistd.h>

namespace {

bool writeAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        const ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

PtyCable::PtyCable(int serverMaster) : mServerMaster(serverMaster) {
    if (mPeer.ok()) {
        mThread = std::thread([this] { relay(); });
    }
}

PtyCable::~PtyCable() {
    mStop = true;
    if (mThread.joinable()) {
        mThread.join();
    }
}

void PtyCable::relay() {
    char buffer[4096];
    while (!mStop) {
        // The poll timeout only bounds how late the stop is seen.
        struct pollfd fds[2] = {{mServerMaster, POLLIN, 0}, {mPeer.master(), POLLIN, 0}};
        const int ready = poll(fds, 2, 50);
        if (ready <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                writeAll(i == 0 ? mPeer.master() : mServerMaster, buffer, static_cast<size_t>(n));
            }
        }
    }
}
