// PortIo on the real descriptor: the POSIX calls themselves.
#ifndef UART_POSIX_PORT_IO_H
#define UART_POSIX_PORT_IO_H

#include "PortIo.h"

class PosixPortIo : public PortIo {
public:
    // `wakeFd`, when not -1, ends every wait early once it is readable (a
    // stop request); it is not owned. The object holds no other state, so any
    // thread may use it.
    explicit PosixPortIo(int wakeFd = -1) : mWakeFd(wakeFd) {}

    // A process-wide instance without a wake descriptor.
    static PosixPortIo& instance();

    ssize_t read(int fd, void* buffer, size_t size) override;
    ssize_t write(int fd, const void* data, size_t size) override;
    int close(int fd) override;
    // poll(2) for input; on a hang-up or error condition it waits out the
    // time on the wake descriptor alone. Cut short by a signal too.
    bool waitReadable(int fd, int timeoutMs) override;
    // poll(2) for output.
    bool waitWritable(int fd, int timeoutMs) override;

private:
    int mWakeFd;
};

#endif  // UART_POSIX_PORT_IO_H
