#include "SerialPort.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace {

struct Speed {
    int baud;
    speed_t code;
};

const Speed kSpeeds[] = {
    {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
    {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
};

const Speed* findSpeed(int baud) {
    for (const Speed& speed : kSpeeds) {
        if (speed.baud == baud) {
            return &speed;
        }
    }
    return nullptr;
}

std::string describe(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

// Serial ports are usually opened through membership of the group that owns
// them (on Debian, "dialout").
std::string permissionHint(const std::string& path) {
    struct stat info;
    const struct group* owner = stat(path.c_str(), &info) == 0 ? getgrgid(info.st_gid) : nullptr;
    const std::string group = owner != nullptr && owner->gr_gid != 0 ? owner->gr_name : "dialout";
    return " (the group " + group + " usually grants access: sudo usermod -aG " + group +
           " $USER, then log in again)";
}

}  // namespace

SerialPort::~SerialPort() { close(); }

bool SerialPort::isKnownBaud(int baud) { return findSpeed(baud) != nullptr; }

int SerialPort::open(const std::string& path, int baud, std::string* message) {
    close();
    const Speed* speed = findSpeed(baud);
    if (speed == nullptr) {
        *message = "unsupported speed " + std::to_string(baud);
        return EINVAL;
    }
    // Non-blocking only for the open itself, which would otherwise wait for
    // a carrier on some devices.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *message = error == EBUSY ? "port " + path +
                                        " is in use by another program (which holds it in "
                                        "exclusive mode, TIOCEXCL)"
                                  : describe("cannot open", path, error);
        if (error == EACCES) {
            *message += permissionHint(path);
        }
        return error;
    }
    auto fail = [&](const std::string& text, int error) {
        *message = text;
        ::close(fd);
        return error;
    };
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            return fail("port " + path + " is in use: another program holds its flock() lock",
                        EBUSY);
        }
        return fail(describe("cannot lock", path, error), error);
    }
    struct termios options;
    if (tcgetattr(fd, &options) != 0) {
        const int error = errno;
        return fail(error == ENOTTY ? path + " is not a serial port"
                                    : describe("cannot read the settings of", path, error),
                    error);
    }
    if (ioctl(fd, TIOCEXCL) != 0) {
        const int error = errno;
        return fail(describe("cannot take exclusive use of", path, error), error);
    }
    cfmakeraw(&options);
    options.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    options.c_cflag |= CS8 | CLOCAL | CREAD;
    options.c_iflag &= ~(IXON | IXOFF | IXANY);
    options.c_cc[VMIN] = 1;
    options.c_cc[VTIME] = 0;
    if (cfsetispeed(&options, speed->code) != 0 || cfsetospeed(&options, speed->code) != 0 ||
        tcsetattr(fd, TCSANOW, &options) != 0) {
        const int error = errno;
        ioctl(fd, TIOCNXCL);
        return fail(describe("cannot set up", path, error), error);
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ioctl(fd, TIOCNXCL);
        return fail(describe("cannot set up", path, error), error);
    }
    // Whatever waited on the line is no reply to us.
    if (tcflush(fd, TCIOFLUSH) != 0) {
        const int error = errno;
        ioctl(fd, TIOCNXCL);
        return fail(describe("cannot flush", path, error), error);
    }
    mFd = fd;
    mOwned = true;
    mPath = path;
    return 0;
}

void SerialPort::attach(int fd) {
    close();
    mFd = fd;
    mOwned = false;
}

int SerialPort::writeAll(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(mFd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

void SerialPort::close() {
    if (mOwned && mFd >= 0) {
        // The mark stays on the terminal while any descriptor of it is open;
        // lift it so the next program may open the port.
        ioctl(mFd, TIOCNXCL);
        ::close(mFd);  // also drops the flock
    }
    mFd = -1;
    mOwned = false;
    mPath.clear();
}
