// A null-modem cable for end-to-end tests of a peer program: a second
// pseudo-terminal whose slave path the peer opens as its serial port, and a
// thread that relays bytes both ways between its master end and the master
// end of the server's terminal (PtyServer::masterFd()).
#ifndef TESTS_SUPPORT_PTY_CABLE_H
#define TESTS_SUPPORT_PTY_CABLE_H

#include <atomic>
#include <string>
#include <thread>

#include "PseudoTerminal.h"

class PtyCable {
public:
    // Starts relaying between `serverMaster` (not owned) and a new terminal.
    explicit PtyCable(int serverMaster);
    // Stops the relay and closes the terminal.
    ~PtyCable();

    bool ok() const { return mPeer.ok(); }
    // What the peer program opens, e.g. /dev/pts/9.
    const std::string& peerPath() const { return mPeer.path(); }

    PtyCable(const PtyCable&) = delete;
    PtyCable& operator=(const PtyCable&) = delete;

private:
    void relay();

    int mServerMaster;
    PseudoTerminal mPeer;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

#endif  // TESTS_SUPPORT_PTY_CABLE_H
