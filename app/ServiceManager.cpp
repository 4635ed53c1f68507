#include "ServiceManager.h"

#include <errno.h>
#include <stddef.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// A whole decimal number of `text` up to `end` (a NUL or the given stop
// character); false for anything else.
bool parseDecimal(const char* text, char stop, unsigned long long* value, const char** end) {
    if (*text < '0' || *text > '9') {
        return false;
    }
    errno = 0;
    char* after = nullptr;
    *value = std::strtoull(text, &after, 10);
    if (errno != 0 || *after != stop) {
        return false;
    }
    *end = after;
    return true;
}

}  // namespace

int ServiceManager::notifyReady() {
    const char* address = std::getenv("NOTIFY_SOCKET");
    if (address == nullptr || address[0] == '\0') {
        return 0;
    }
    struct sockaddr_un peer;
    std::memset(&peer, 0, sizeof peer);
    peer.sun_family = AF_UNIX;
    const size_t length = std::strlen(address);
    if ((address[0] != '/' && address[0] != '@') || length >= sizeof peer.sun_path) {
        return -EAFNOSUPPORT;
    }
    std::memcpy(peer.sun_path, address, length);
    if (address[0] == '@') {
        peer.sun_path[0] = '\0';  // abstract name
    }
    const socklen_t peerLength = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) +
                                                        length + (address[0] == '/' ? 1 : 0));

    const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -errno;
    }
    static const char kReady[] = "READY=1";
    ssize_t sent;
    do {
        sent = sendto(fd, kReady, sizeof kReady - 1, MSG_NOSIGNAL,
                      reinterpret_cast<const struct sockaddr*>(&peer), peerLength);
    } while (sent < 0 && errno == EINTR);
    const int sendError = sent < 0 ? errno : 0;
    close(fd);
    if (sendError != 0) {
        return -sendError;
    }
    return sent == static_cast<ssize_t>(sizeof kReady - 1) ? 1 : -EMSGSIZE;
}

bool ServiceManager::isJournal(int fd) {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    const char* end = nullptr;
    if (!parseDecimal(stream, ':', &device, &end) || !parseDecimal(end + 1, '\0', &inode, &end)) {
        return false;
    }
    struct stat status;
    if (fstat(fd, &status) != 0) {
        return false;
    }
    return static_cast<unsigned long long>(status.st_dev) == device &&
           static_cast<unsigned long long>(status.st_ino) == inode;
}
