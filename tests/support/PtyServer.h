// Runs the real dspd binary on a pseudo-terminal and speaks to it as a peer.
//
// The test keeps the terminal's slave end open (in raw mode, before the
// server starts) and talks through the master end. Every wait has a deadline;
// reads use poll(). A server still running when the object goes is stopped
// with SIGTERM and must exit with status 0 (a sanitizer or valgrind report in
// the server makes it exit otherwise), or the test fails.
//
// The binary is started through a launcher when one is set: the words of the
// environment variable DSPD_TEST_LAUNCHER (separated by spaces; set and empty
// means none), else the emulator of a cross build (DSPD_LAUNCHER), since a
// test running under qemu-user cannot exec a binary of the target without
// binfmt_misc. Under a launcher every deadline is ten times as long.
#ifndef TESTS_SUPPORT_PTY_SERVER_H
#define TESTS_SUPPORT_PTY_SERVER_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "PseudoTerminal.h"

class PtyServer {
public:
    struct Options {
        // Added to (or replacing) ours, which lose DSPD_SIM_FAIL,
        // NOTIFY_SOCKET and JOURNAL_STREAM.
        std::map<std::string, std::string> env;
        // JOURNAL_STREAM names the server's standard output, as when a
        // service manager sends it to the journal.
        bool stdoutIsJournal = false;
        // Standard output is collected, left unread (its pipe fills), or
        // its reader has gone before the server starts.
        enum class Reader { kCollect, kNone, kGone } stdoutReader = Reader::kCollect;
    };

    PtyServer();
    explicit PtyServer(const Options& options);
    // Stops a server that still runs (SIGTERM, then SIGKILL), fails the test
    // unless it exited with status 0, and closes everything.
    ~PtyServer();

    // The launcher words put before the binary (see above); empty for none.
    static std::vector<std::string> launcher();
    // `ms`, lengthened under a launcher.
    static int scaled(int ms);

    // False when the pty could not be made, the binary not started, or the
    // server was not ready in time. The server is given the pty's number,
    // with DSPD_SERIAL_PREFIX set to the pty directory.
    bool ok() const { return mOk; }
    pid_t pid() const { return mPid; }
    int masterFd() const { return mPty.master(); }

    // Closes the master end: the peer has gone, the server's reads fail.
    void closePeer() { mPty.closeMaster(); }

    // Writes all bytes to the master end.
    bool send(const std::string& bytes);
    // Waits until the server has read everything sent so far.
    bool waitDrained(int timeoutMs = 5000);
    // Reads until `n` bytes have come or the deadline passes.
    std::string read(size_t n, int timeoutMs = 5000);
    // Reads until nothing has come for `quietMs` (or `maxMs` has passed).
    std::string readQuiet(int quietMs = 200, int maxMs = 5000);
    // Sends `line` and reads the reply of `n` bytes.
    std::string request(const std::string& line, size_t n, int timeoutMs = 5000) {
        return send(line) ? read(n, timeoutMs) : std::string();
    }

    // All the server has written to its standard output (when collected),
    // and to its standard error from offset `from` on.
    std::string out() const;
    std::string err(size_t from = 0) const;
    // Waits until standard error from offset `from` on contains `needle`;
    // returns where it starts, or npos when the deadline passed or the
    // server has exited without it.
    size_t waitErr(const std::string& needle, size_t from = 0, int timeoutMs = 5000);
    // Waits until standard error has had nothing new for `quietMs`; false
    // when it never went quiet within `maxMs`.
    bool waitErrQuiet(int quietMs, int maxMs = 10000);

    // Sends `sig` and waits for the exit. Returns the exit status (128 + the
    // signal when killed by one), or -1 when it did not exit in time.
    int stop(int sig, int timeoutMs = 8000);
    // Waits for the exit without signalling; same results as stop().
    int waitExit(int timeoutMs = 8000);

private:
    bool spawn(const Options& options);

    bool mOk = false;
    PseudoTerminal mPty;
    pid_t mPid = -1;
    int mStatus = -1;
    // Files in memory that take the server's standard output and error, so
    // no reader thread is needed; an unread standard output is the read end
    // of its pipe instead.
    int mOut = -1;
    int mErr = -1;
};

#endif  // TESTS_SUPPORT_PTY_SERVER_H
