// PortIo on the real descriptor: the POSIX calls themselves.
#ifndef UART_POSIX_PORT_IO_H
#define UART_POSIX_PORT_IO_H

#include "PortIo.h"

class PosixPortIo : public PortIo {
public:
    // The process-wide instance; it holds no state, so any thread may use it.
    static PosixPortIo& instance();

    ssize_t read(int fd, void* buffer, size_t size) override;
    ssize_t write(int fd, const void* data, size_t size) override;
    int close(int fd) override;
    // poll(2) for input; on a hang-up or error condition it sleeps out the
    // time instead (nanosleep, cut short by a signal).
    bool waitReadable(int fd, int timeoutMs) override;
    // poll(2) for output.
    bool waitWritable(int fd, int timeoutMs) override;
};

#endif  // UART_POSIX_PORT_IO_H
