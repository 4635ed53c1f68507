#include "PosixPortIo.h"

#include <poll.h>
#include <unistd.h>

PosixPortIo& PosixPortIo::instance() {
    static PosixPortIo io;
    return io;
}

ssize_t PosixPortIo::read(int fd, void* buffer, size_t size) { return ::read(fd, buffer, size); }

ssize_t PosixPortIo::write(int fd, const void* data, size_t size) {
    return ::write(fd, data, size);
}

int PosixPortIo::close(int fd) { return ::close(fd); }

// poll() skips an entry whose descriptor is negative, so without a wake
// descriptor the port is polled alone.
bool PosixPortIo::waitReadable(int fd, int timeoutMs) {
    struct pollfd pfds[2] = {{fd, POLLIN, 0}, {mWakeFd, POLLIN, 0}};
    if (poll(pfds, 2, timeoutMs) <= 0 || pfds[1].revents != 0) {
        return false;  // time out, a signal or a stop request: the caller looks at its flag
    }
    if ((pfds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        return true;
    }
    // A hung-up terminal polls ready for ever; wait on the wake descriptor
    // instead (with none, poll() just sleeps).
    (void)poll(&pfds[1], 1, timeoutMs);
    return false;
}

bool PosixPortIo::waitWritable(int fd, int timeoutMs) {
    struct pollfd pfds[2] = {{fd, POLLOUT, 0}, {mWakeFd, POLLIN, 0}};
    // A hang-up or error counts as writable: the write reports it.
    return poll(pfds, 2, timeoutMs) > 0 && pfds[0].revents != 0;
}
