// The serial worker's I/O on its open port, as a seam: the worker reads,
// writes, waits and closes through this interface, so tests can put faults
// between it and the line (partial writes, interrupted calls, a peer that
// has gone) without a terminal.
//
// Results follow the POSIX calls they stand for: a count or -1 with errno
// set. Implementations are used from the worker thread only, unless they
// state otherwise.
#ifndef UART_PORT_IO_H
#define UART_PORT_IO_H

#include <sys/types.h>

#include <cstddef>

class PortIo {
public:
    virtual ~PortIo() = default;

    // read(2): up to `size` bytes into `buffer`; 0 when nothing came.
    virtual ssize_t read(int fd, void* buffer, size_t size) = 0;

    // write(2): may take fewer than `size` bytes.
    virtual ssize_t write(int fd, const void* data, size_t size) = 0;

    // close(2).
    virtual int close(int fd) = 0;

    // Waits up to `timeoutMs` for bytes to read, returning as soon as they
    // are there or a signal interrupts. Returns true when bytes are waiting.
    // A port that reports itself ready without bytes (its peer has hung up)
    // is waited on for the whole time, so a caller that loops never spins.
    virtual bool waitReadable(int fd, int timeoutMs) = 0;

    // Waits up to `timeoutMs` for room to write, returning as soon as there
    // is room or a signal interrupts. Returns true when a write may take
    // bytes (or would fail at once, as on a port whose peer has hung up).
    virtual bool waitWritable(int fd, int timeoutMs) = 0;
};

#endif  // UART_PORT_IO_H
