// The peer's end of the serial line: a serial device opened and set up as the
// server sets up its own end (raw, 8 data bits, no parity, 1 stop bit, the
// chosen speed), held for this process alone; or a descriptor that already is
// the line (the master end of the simulated device's pseudo-terminal).
//
// Exclusive access: a device is locked with flock() (which keeps out every
// other dspctl, root's too, and any program that takes the same lock) and
// marked TIOCEXCL (which keeps other unprivileged programs from opening it),
// so that no two programs split a reply between them. Both are released on
// close(). A refusal names the lock that was held, and a permission denied
// the group that usually grants access.
// Not thread-safe.
#ifndef TOOLS_DSPCTL_SERIAL_PORT_H
#define TOOLS_DSPCTL_SERIAL_PORT_H

#include <string>

class SerialPort {
public:
    static constexpr int kDefaultBaud = 115200;

    SerialPort() = default;
    ~SerialPort();  // close()
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // True for the speeds a port can be set to (110 to 921600 baud, the
    // server's list).
    static bool isKnownBaud(int baud);

    // Opens and sets up the device at `path`. Returns 0, or an errno value
    // with a message for people in *message (EBUSY: in use by another
    // program). Nothing stays open on failure.
    int open(const std::string& path, int baud, std::string* message);

    // Uses `fd` as the line without setting it up or taking ownership: the
    // caller keeps it open while this object is used and closes it.
    void attach(int fd);

    int fd() const { return mFd; }
    const std::string& path() const { return mPath; }

    // Writes every byte. Returns 0 or the errno value of the failed write.
    int writeAll(const std::string& bytes);

    // Releases the lock and the exclusive mark and closes an opened device;
    // forgets an attached descriptor. Safe to call twice.
    void close();

private:
    int mFd = -1;
    bool mOwned = false;
    std::string mPath;
};

#endif  // TOOLS_DSPCTL_SERIAL_PORT_H
