#include "UartWorker.h"

#include <errno.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "AudioPrint.h"
#include "LineAssembler.h"
#include "LogLine.h"
#include "PosixPortIo.h"
#include "ReadBackoff.h"

#define UART_LOG(level, func, ...) DSP_LOG(level, "UartWorker", func, __VA_ARGS__)

namespace {

// How long a read waits on a line that is up but silent (as the blocking
// read's two-second timeout did).
constexpr int kSilenceMs = 2000;

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
using HeapBuffer = std::unique_ptr<char, FreeDeleter>;

HeapBuffer allocZeroed(size_t size) {
    HeapBuffer buffer(static_cast<char*>(std::malloc(size)));
    if (buffer) {
        std::memset(buffer.get(), 0, size);
    }
    return buffer;
}

speed_t speedFor(int baudrate, bool* known) {
    static const struct {
        int rate;
        speed_t speed;
    } kSpeeds[] = {
        {110, B110},       {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},
        {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600},
    };
    for (const auto& entry : kSpeeds) {
        if (entry.rate == baudrate) {
            *known = true;
            return entry.speed;
        }
    }
    *known = false;
    return B0;
}

}  // namespace

UartWorker::UartWorker(UartWorkerCallBack* cbk, int port, int baudrate, int databits, int stopbits,
                       int parity, const std::atomic<bool>* stopFlag, PortIo* io)
    : AudioThread(nullptr),
      mCbk(cbk),
      mPort(port),
      mBaudrate(baudrate),
      mDatabits(databits),
      mStopbits(stopbits),
      mParity(parity),
      mFd(-1),
      mStopFlag(stopFlag),
      mIo(io != nullptr ? io : &PosixPortIo::instance()),
      mParams{} {
    if (mCbk == nullptr) {
        UART_LOG(BUG, "UartWorker", "NULL != mCbk\n");
        std::exit(-1);
    }
    if (run("AudioUartWorker", -1, -10) != 0) {
        UART_LOG(WRN, "UartWorker", "run fail\n");
    }
}

UartWorker::~UartWorker() {
    join();
    if (requestExit() != 0) {
        UART_LOG(ERR, "~UartWorker", "requestExit fail\n");
    }
    if (requestExitAndWait() != 0) {
        UART_LOG(ERR, "~UartWorker", "requestExitAndWait fail\n");
    }
}

std::string UartWorker::devicePath(int port) {
    const char* prefix = std::getenv("DSPD_SERIAL_PREFIX");
    std::string path = prefix != nullptr ? prefix : "/dev/ttyS";
    path += std::to_string(port);
    return path;
}

bool UartWorker::threadLoop() {
    if (!openPort()) {
        return false;
    }
    if (!setParams() || !setBaudrate()) {
        closePort();
        return false;
    }
    HeapBuffer readBuf = allocZeroed(kBufferSize + 1);
    HeapBuffer lineBuf = allocZeroed(kBufferSize);
    HeapBuffer replyBuf = allocZeroed(kBufferSize);
    if (!readBuf || !lineBuf || !replyBuf) {
        closePort();
        return false;
    }
    mCbk->setNotify(&UartWorker::notify, this);
    UART_LOG(INF, "threadLoop", "port ready\n");
    readLoop(readBuf.get(), lineBuf.get(), replyBuf.get());
    closePort();
    return false;
}

bool UartWorker::openPort() {
    const std::string path = devicePath(mPort);
    UART_LOG(INF, "open_uart", "open %s\n", path.c_str());
    mFd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (mFd < 0) {
        UART_LOG(ERR, "open_uart", "open device fail\n");
        return false;
    }
    return true;
}

bool UartWorker::setParams() {
    struct termios options;
    if (tcgetattr(mFd, &options) != 0) {
        UART_LOG(ERR, "set_params", "tcgetattr fail\n");
        return false;
    }
    options.c_cflag &= ~CSIZE;
    switch (mDatabits) {
        case 5:
            options.c_cflag |= CS5;
            break;
        case 6:
            options.c_cflag |= CS6;
            break;
        case 7:
            options.c_cflag |= CS7;
            break;
        case 8:
            options.c_cflag |= CS8;
            break;
        default:
            UART_LOG(ERR, "set_params", "bad databits(%d)\n", mDatabits);
            return false;
    }
    switch (mParity) {
        case 'n':
        case 'N':
            options.c_cflag &= ~PARENB;
            options.c_iflag &= ~INPCK;
            break;
        case 'o':
        case 'O':
            options.c_cflag |= PARENB | PARODD;
            options.c_iflag |= INPCK;
            break;
        case 'e':
        case 'E':
            options.c_cflag |= PARENB;
            options.c_cflag &= ~PARODD;
            options.c_iflag |= INPCK;
            break;
        case 'm':
        case 'M':
            options.c_cflag |= CMSPAR | PARENB | PARODD;
            options.c_iflag |= INPCK;
            break;
        case 's':
        case 'S':
            options.c_cflag |= CMSPAR | PARENB;
            options.c_cflag &= ~PARODD;
            options.c_iflag |= INPCK;
            break;
        default:
            UART_LOG(ERR, "set_params", "bad parity(%d)\n", mParity);
            return false;
    }
    switch (mStopbits) {
        case 1:
            options.c_cflag &= ~CSTOPB;
            break;
        case 2:
            options.c_cflag |= CSTOPB;
            break;
        default:
            UART_LOG(ERR, "set_params", "bad stopbits(%d)\n", mStopbits);
            return false;
    }
    options.c_iflag &= ~(INLCR | ICRNL | IXON);
    options.c_cflag &= ~CRTSCTS;
    options.c_lflag = 0;
    options.c_cc[VTIME] = 10;
    options.c_cc[VMIN] = 1;
    if (tcflush(mFd, TCIFLUSH) != 0) {
        UART_LOG(WRN, "set_params", "tcflush fail\n");
    }
    if (tcsetattr(mFd, TCSANOW, &options) != 0) {
        UART_LOG(ERR, "set_params", "set fail\n");
        return false;
    }
    mParams = options;
    return true;
}

bool UartWorker::setBaudrate() {
    struct termios options = mParams;
    if (tcgetattr(mFd, &options) != 0) {
        UART_LOG(ERR, "set_baudrate", "tcgetattr fail\n");
        options = mParams;
    }
    // Raw mode forces 8 data bits without parity, whatever was chosen above;
    // the stop bits stay.
    cfmakeraw(&options);
    // A read returns as soon as bytes are there, or with 0 after two seconds
    // of silence, so the loop sees an exit request in time.
    options.c_cc[VTIME] = 20;
    options.c_cc[VMIN] = 0;
    bool known = false;
    const speed_t speed = speedFor(mBaudrate, &known);
    if (!known) {
        return false;
    }
    if (cfsetispeed(&options, speed) != 0 || cfsetospeed(&options, speed) != 0 ||
        tcsetattr(mFd, TCSANOW, &options) != 0) {
        UART_LOG(ERR, "set_baudrate", "set baudrate fail\n");
        return false;
    }
    if (tcflush(mFd, TCIOFLUSH) != 0) {
        UART_LOG(WRN, "set_baudrate", "tcflush fail\n");
    }
    return true;
}

void UartWorker::closePort() {
    if (mFd >= 0 && mIo->close(mFd) != 0) {
        UART_LOG(WRN, "threadLoop", "close fail\n");
    }
    mFd = -1;
}

void UartWorker::readLoop(char* readBuf, char* lineBuf, char* replyBuf) {
    LineAssembler lines(lineBuf, kBufferSize);
    ReadBackoff backoff;
    for (;;) {
        if (stopRequested()) {
            requestExit();
        }
        if (exitPending()) {
            return;
        }
        const ssize_t n = mIo->read(mFd, readBuf, kBufferSize);
        if (n < 0 && errno == EINTR) {
            continue;  // most likely the stop signal: look at the flag at once
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // A living line without input: wait as long as its silence
            // timeout (a stop signal cuts the wait short).
            mIo->waitReadable(mFd, kSilenceMs);
            continue;
        }
        if (n <= 0) {
            // Silence, or a peer that has gone: wait for input, longer each
            // time nothing comes, but never past a stop request.
            const int waitMs = backoff.failed();
            if (!stopRequested() && !exitPending()) {
                mIo->waitReadable(mFd, waitMs);
            }
            continue;
        }
        backoff.succeeded();
        lines.feed(
            readBuf, static_cast<int>(n),
            [&](char* line, int len) { runLine(line, len, replyBuf); },
            [] { UART_LOG(ERR, "threadLoop", "line too long, dropped\n"); });
        std::memset(readBuf, 0, static_cast<size_t>(n));
    }
}

void UartWorker::runLine(char* line, int len, char* replyBuf) {
    UART_LOG(INF, "threadLoop", "%s\n", line);
    int r = mCbk->onCommand(line, len, replyBuf, kBufferSize);
    if (r <= 0) {
        return;
    }
    if (r > kBufferSize) {
        r = kBufferSize;
    }
    // The reply goes out before its log line, which the peer need not wait for.
    writeAll(reinterpret_cast<const unsigned char*>(replyBuf), static_cast<size_t>(r), "reply");
    UART_LOG(INF, "threadLoop", "%.*s\n", r, replyBuf);
    std::memset(replyBuf, 0, static_cast<size_t>(r));
}

size_t UartWorker::writeAll(const unsigned char* data, size_t len, const char* what) {
    size_t done = 0;
    int stalledMs = 0;
    const char* abandoned = nullptr;
    while (done < len) {
        const ssize_t w = mIo->write(mFd, data + done, len - done);
        if (w > 0) {
            done += static_cast<size_t>(w);
            stalledMs = 0;
            continue;
        }
        if (w == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            UART_LOG(ERR, "writeAll", "write failed\n");
            return done;
        }
        // No room (or a signal): a stop request must not be held up by a
        // peer that never reads, nor the worker for ever by one that has
        // stopped.
        if (stopRequested()) {
            abandoned = "stop requested";
            break;
        }
        if (stalledMs >= kStallLimitMs) {
            abandoned = "peer not reading";
            break;
        }
        mIo->waitWritable(mFd, kWriteWaitMs);
        stalledMs += kWriteWaitMs;
    }
    if (abandoned != nullptr) {
        UART_LOG(ERR, "writeAll", "%s abandoned (%s): %zu of %zu bytes not sent\n", what, abandoned,
                 len - done, len);
    }
    return done;
}

void UartWorker::notify(void* ctx, unsigned char* data, unsigned int len) {
    UartWorker* worker = static_cast<UartWorker*>(ctx);
    if (worker == nullptr) {
        return;
    }
    const size_t written = data == nullptr ? 0 : worker->writeAll(data, len, "frame");
    UART_LOG(INF, "notify", "len:%d, fd:%d\n", static_cast<int>(written), worker->mFd);
}
