#include "PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal() {
    mMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0 ||
        ptsname_r(mMaster, name, sizeof name) != 0) {
        return;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios options;
    const bool read = slave >= 0 && tcgetattr(slave, &options) == 0;
    if (read) cfmakeraw(&options);
    if (!read || tcsetattr(slave, TCSANOW, &options) != 0) {
        if (slave >= 0) close(slave);
        return;
    }
    mSlave = slave;
    mPath = name;
}

PseudoTerminal::~PseudoTerminal() {
    if (mSlave >= 0) close(mSlave);
    closeMaster();
}

std::string PseudoTerminal::directory() const { return mPath.substr(0, mPath.rfind('/') + 1); }

int PseudoTerminal::number() const { return atoi(mPath.c_str() + mPath.rfind('/') + 1); }

void PseudoTerminal::closeMaster() {
    if (mMaster >= 0) close(mMaster);
    mMaster = -1;
}
