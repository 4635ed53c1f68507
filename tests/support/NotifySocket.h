// A datagram socket in the role of a service manager's notify socket (the
// address a server finds in NOTIFY_SOCKET), bound to a path in a fresh
// directory or to an abstract name. Closes and removes what it made.
#ifndef TESTS_SUPPORT_NOTIFY_SOCKET_H
#define TESTS_SUPPORT_NOTIFY_SOCKET_H

#include <string>

class NotifySocket {
public:
    // `abstract`: an abstract name ("@..."), else a path.
    explicit NotifySocket(bool abstract);
    ~NotifySocket();
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // False when the socket could not be made or bound.
    bool ok() const { return mBound; }
    // The value for NOTIFY_SOCKET.
    const std::string& address() const { return mAddress; }

    // The next message, or "" when none comes within `timeoutMs`.
    std::string receive(int timeoutMs);

private:
    int mFd = -1;
    bool mBound = false;
    std::string mDir;
    std::string mAddress;
};

#endif  // TESTS_SUPPORT_NOTIFY_SOCKET_H
