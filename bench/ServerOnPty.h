// A server program (dspd or line-responder) started on a pseudo-terminal,
// with the benchmark as its peer on the master end.
//
// The slave end is held open in raw mode before the server starts, as a
// serial port would stay configured. The server's standard output and error
// go to /dev/null: its log lines still cost their writes. Every wait has a
// deadline and reads use poll(). Not thread-safe.
#ifndef BENCH_SERVER_ON_PTY_H
#define BENCH_SERVER_ON_PTY_H

#include <sys/types.h>

#include <string>

#include "PseudoTerminal.h"

class ServerOnPty {
public:
    // Starts `binary` with the pty's number as its argument and
    // DSPD_SERIAL_PREFIX set to the pty directory.
    explicit ServerOnPty(const std::string& binary);
    // Stops a server still running (SIGTERM, then SIGKILL) and closes the pty.
    ~ServerOnPty();

    // False when the pty could not be made or the binary not started.
    bool ok() const { return mPid > 0; }
    pid_t pid() const { return mPid; }

    // Sends "dsp status" until a 5-byte reply comes, then drains what else
    // comes: the server has its port open and configured. False after
    // `timeoutMs`.
    bool waitReady(int timeoutMs = 10000);

    // One request: writes `line` whole and reads until `replyBytes` bytes have
    // come. False on a failed write or when the reply is short at the deadline.
    bool roundTrip(const std::string& line, size_t replyBytes, int timeoutMs = 5000);

    // Closes the master end: the peer is gone, the server's port hangs up.
    void closeMaster();

    // SIGTERM, then waits for the exit. Returns the exit status, or -1 when it
    // did not exit normally within `timeoutMs` (it is then killed).
    int stop(int timeoutMs = 8000);

    ServerOnPty(const ServerOnPty&) = delete;
    ServerOnPty& operator=(const ServerOnPty&) = delete;

private:
    bool spawn(const std::string& binary);
    size_t readFor(char* buffer, size_t want, int timeoutMs);

    PseudoTerminal mPty;  // its slave end raw before the server starts
    pid_t mPid = -1;
};

#endif  // BENCH_SERVER_ON_PTY_H
