#include "MpBinFile.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace {

std::string describe(const char* what, const std::string& path, int error) {
    return std::string(what) + " " + path + ": " + std::strerror(error);
}

// Closes `fd` and returns `error`, or the close's own error when `error` is 0.
int closeWith(int fd, int error) {
    if (close(fd) != 0 && error == 0) {
        return errno;
    }
    return error;
}

}  // namespace

int readMpBinFile(const std::string& path, std::string* blob, std::string* message) {
    blob->clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        *message = describe("cannot read", path, error);
        return error;
    }
    // One byte more than the largest blob tells a longer file apart.
    char buffer[kMpBinExtendedSize + 1];
    size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = read(fd, buffer + got, sizeof buffer - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            *message = describe("cannot read", path, error);
            return closeWith(fd, error);
        }
        if (n == 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    const int error = closeWith(fd, 0);
    if (error != 0) {
        *message = describe("cannot read", path, error);
        return error;
    }
    if (got != kMpBinStandardSize && got != kMpBinExtendedSize) {
        *message = path + " holds " +
                   (got > kMpBinExtendedSize ? "more than 2560" : std::to_string(got)) +
                   " bytes; an MP.bin is 296 (standard) or 2560 (extended) bytes";
        return EINVAL;
    }
    blob->assign(buffer, got);
    return 0;
}

int writeMpBinFile(const std::string& path, const std::string& blob, std::string* message) {
    return replaceFile(path, blob, message);
}

int replaceFile(const std::string& path, const std::string& blob, std::string* message) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(&temp[0]);
    if (fd < 0) {
        const int error = errno;
        *message = describe("cannot write beside", path, error);
        return error;
    }
    int error = 0;
    size_t done = 0;
    while (done < blob.size() && error == 0) {
        const ssize_t n = write(fd, blob.data() + done, blob.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
        } else {
            done += static_cast<size_t>(n);
        }
    }
    // mkstemp makes the file for the owner alone; a blob or a state is no secret.
    if (error == 0 && fchmod(fd, 0644) != 0) {
        error = errno;
    }
    if (error == 0 && fsync(fd) != 0) {
        error = errno;
    }
    error = closeWith(fd, error);
    if (error == 0 && rename(temp.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        unlink(temp.c_str());
        *message = describe("cannot write", path, error);
    }
    return error;
}

std::string mpBinCommandLine(const std::string& blob) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line = "dsp mpbin " + std::to_string(blob.size()) + " ";
    line.reserve(line.size() + blob.size() * 3);
    for (size_t i = 0; i < blob.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(blob[i]);
        if (i > 0) {
            line += ':';
        }
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
    }
    return line + "\n";
}
