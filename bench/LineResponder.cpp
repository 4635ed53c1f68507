// line-responder: the least any server can do on dspd's transport.
//
// Opens its port as dspd does (same path rule, same two-step terminal set-up,
// blocking reads returning after 2 s of silence, a 10 ms pause after an empty
// read) and answers every line that holds more than its terminator with
// "[ok]" and its NUL. No logging, no echo, no command tree: the yardstick the
// round-trip benchmark holds dspd against. SIGTERM or SIGINT ends it with 0.
//
//     line-responder [N]     opens $DSPD_SERIAL_PREFIX<N> (/dev/ttyS<N>)
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kBufferSize = 8192;
std::atomic<bool> gStop(false);

void onStop(int) { gStop.store(true); }

bool installStop() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStop;  // no SA_RESTART: a blocked read returns
    return sigemptyset(&action.sa_mask) == 0 && sigaction(SIGTERM, &action, nullptr) == 0 &&
           sigaction(SIGINT, &action, nullptr) == 0;
}

// dspd's set-up: 8N1 with the line flags cleared and VMIN 1 / VTIME 10 first,
// then raw mode at 115200 with VMIN 0 / VTIME 20, flushing both ways.
bool configure(int fd) {
    struct termios options;
    if (tcgetattr(fd, &options) != 0) {
        return false;
    }
    options.c_cflag &= ~CSIZE;
    options.c_cflag |= CS8;
    options.c_cflag &= ~PARENB;
    options.c_iflag &= ~INPCK;
    options.c_cflag &= ~CSTOPB;
    options.c_iflag &= ~(INLCR | ICRNL | IXON);
    options.c_cflag &= ~CRTSCTS;
    options.c_lflag = 0;
    options.c_cc[VTIME] = 10;
    options.c_cc[VMIN] = 1;
    (void)tcflush(fd, TCIFLUSH);
    if (tcsetattr(fd, TCSANOW, &options) != 0 || tcgetattr(fd, &options) != 0) {
        return false;
    }
    cfmakeraw(&options);
    options.c_cc[VTIME] = 20;
    options.c_cc[VMIN] = 0;
    if (cfsetispeed(&options, B115200) != 0 || cfsetospeed(&options, B115200) != 0 ||
        tcsetattr(fd, TCSANOW, &options) != 0) {
        return false;
    }
    (void)tcflush(fd, TCIOFLUSH);
    return true;
}

bool writeAll(int fd, const char* data, size_t len) {
    size_t done = 0;
    while (done < len) {
        const ssize_t w = write(fd, data + done, len - done);
        if (w < 0 && errno == EINTR && !gStop.load()) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

void pauseAfterEmptyRead() {
    struct timespec pause = {0, 10 * 1000000L};
    (void)nanosleep(&pause, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    const int port = argc == 2 ? std::atoi(argv[1]) : 1;
    const char* prefix = std::getenv("DSPD_SERIAL_PREFIX");
    const std::string path =
        std::string(prefix != nullptr ? prefix : "/dev/ttyS") + std::to_string(port);
    if (!installStop()) {
        std::perror("line-responder: signal handlers");
        return 1;
    }
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(path.c_str());
        return 1;
    }
    if (!configure(fd)) {
        std::perror("line-responder: terminal set-up");
        close(fd);
        return 1;
    }

    static const char kOk[] = "[ok]";  // sent with its NUL
    static char buffer[kBufferSize];
    int lineLength = 0;  // bytes of the current line before its terminator
    while (!gStop.load()) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            pauseAfterEmptyRead();
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n' && buffer[i] != '\r') {
                ++lineLength;
                continue;
            }
            if (lineLength > 0 && !writeAll(fd, kOk, sizeof kOk)) {
                std::fprintf(stderr, "line-responder: write failed\n");
            }
            lineLength = 0;
        }
    }
    close(fd);
    return 0;
}
