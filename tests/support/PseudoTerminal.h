// A pseudo-terminal pair for tests: the master end for the test, the slave
// end held open (in raw mode) so the terminal stays configured and no bytes
// are lost while another party opens and closes it.
#ifndef TESTS_SUPPORT_PSEUDO_TERMINAL_H
#define TESTS_SUPPORT_PSEUDO_TERMINAL_H

#include <string>

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();

    bool ok() const { return mSlave >= 0; }
    int master() const { return mMaster; }
    int slave() const { return mSlave; }
    const std::string& path() const { return mPath; }  // e.g. /dev/pts/7
    std::string directory() const;                     // e.g. /dev/pts/
    int number() const;                                // e.g. 7

    // Closes the master end: the peer goes away, the slave end stays.
    void closeMaster();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

private:
    int mMaster = -1;
    int mSlave = -1;
    std::string mPath;
};

#endif  // TESTS_SUPPORT_PSEUDO_TERMINAL_H
