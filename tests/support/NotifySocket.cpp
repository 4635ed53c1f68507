#include "NotifySocket.h"

#include <poll.h>
#include <stddef.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

NotifySocket::NotifySocket(bool abstract) {
    char dir[] = "/tmp/dspd-notify-XXXXXX";
    if (mkdtemp(dir) == nullptr) {
        return;
    }
    mDir = dir;
    static std::atomic<int> serial(0);
    mAddress = abstract ? "@dspd-test-" + std::to_string(getpid()) + "-" +
                              std::to_string(serial.fetch_add(1))
                        : mDir + "/notify";
    mFd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (mFd < 0) {
        return;
    }
    struct sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, mAddress.data(), mAddress.size());
    if (abstract) {
        address.sun_path[0] = '\0';
    }
    const socklen_t length = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) +
                                                    mAddress.size() + (abstract ? 0 : 1));
    mBound = bind(mFd, reinterpret_cast<struct sockaddr*>(&address), length) == 0;
}

NotifySocket::~NotifySocket() {
    if (mFd >= 0) {
        close(mFd);
    }
    if (!mDir.empty()) {
        unlink((mDir + "/notify").c_str());
        rmdir(mDir.c_str());
    }
}

std::string NotifySocket::receive(int timeoutMs) {
    if (mFd < 0) {
        return "";
    }
    struct pollfd pfd = {mFd, POLLIN, 0};
    if (poll(&pfd, 1, timeoutMs) != 1) {
        return "";
    }
    char buffer[256];
    const ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "";
}
