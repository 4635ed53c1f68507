#include "PosixPortIo.h"

#include <poll.h>
#include <time.h>
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

bool PosixPortIo::waitReadable(int fd, int timeoutMs) {
    struct pollfd pfd = {fd, POLLIN, 0};
    const int ready = poll(&pfd, 1, timeoutMs);
    if (ready <= 0) {
        return false;  // time out, or a signal: the caller looks at its stop request
    }
    if ((pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) == 0) {
        return true;
    }
    // A hung-up terminal polls ready for ever; sleep instead.
    struct timespec pause;
    pause.tv_sec = timeoutMs / 1000;
    pause.tv_nsec = static_cast<long>(timeoutMs % 1000) * 1000000L;
    (void)nanosleep(&pause, nullptr);  // EINTR: a signal ends the wait early, as poll would
    return false;
}

bool PosixPortIo::waitWritable(int fd, int timeoutMs) {
    struct pollfd pfd = {fd, POLLOUT, 0};
    return poll(&pfd, 1, timeoutMs) > 0;  // a hang-up or error too: the write reports it
}
