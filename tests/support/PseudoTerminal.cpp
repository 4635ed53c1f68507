#include "PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return;
    }
    mMaster = master;
    char name[128];
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        return;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        return;
    }
    struct termios options;
    if (tcgetattr(slave, &options) != 0) {
        close(slave);
        return;
    }
    cfmakeraw(&options);
    if (tcsetattr(slave, TCSANOW, &options) != 0) {
        close(slave);
        return;
    }
    mSlave = slave;
    mPath = name;
}

PseudoTerminal::~PseudoTerminal() {
    if (mSlave >= 0) {
        close(mSlave);
    }
    if (mMaster >= 0) {
        close(mMaster);
    }
}

std::string PseudoTerminal::directory() const { return mPath.substr(0, mPath.rfind('/') + 1); }

int PseudoTerminal::number() const { return atoi(mPath.c_str() + mPath.rfind('/') + 1); }

void PseudoTerminal::closeMaster() {
    if (mMaster >= 0) {
        close(mMaster);
        mMaster = -1;
    }
}
