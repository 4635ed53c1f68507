// The serial worker: owns the serial port on a thread of its own.
//
// The thread opens and configures the port, hands the reply sink to the
// callback, then reads bytes, cuts them into lines, runs each line through the
// callback and writes the reply back, until an exit is requested.
//
// The device path is "/dev/ttyS<port>"; the environment variable
// DSPD_SERIAL_PREFIX, when set, replaces "/dev/ttyS" as plain text (it is
// never used as a format), so a workstation can run on a pseudo-terminal.
//
// While the peer sends nothing, or has gone, reads come back empty; the
// worker then waits for input with a growing back-off (ReadBackoff) rather
// than polling the port at a fixed rate.
//
// The port is non-blocking, so a peer that stops reading cannot hold the
// worker in a write: a reply or frame that finds no room waits for it in
// steps of kWriteWaitMs, looking at the stop request between them, and is
// abandoned (its unsent bytes logged) on a stop request or after
// kStallLimitMs without progress. At 115200 baud the longest reply (8 KB)
// takes 0.7 s on the line, so a slow but living peer never hits the limit.
//
// Thread-safety: after construction everything runs on the worker thread;
// the owner's only contact is the destructor, which waits for the thread.
#ifndef UART_UART_WORKER_H
#define UART_UART_WORKER_H

#include <termios.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "AudioThread.h"
#include "CommandItem.h"
#include "PortIo.h"
#include "UartWorkerCallBack.h"

class UartWorker : public AudioThread {
public:
    static constexpr int kBufferSize = 8192;
    static constexpr int kWriteWaitMs = 250;
    static constexpr int kStallLimitMs = 10000;

    // Starts the thread at once. `cbk` must not be null (a null callback ends
    // the process with status -1) and must outlive the worker. `stopFlag`,
    // when given, is polled by the read loop: once it reads true the worker
    // requests its own exit (a signal handler may set it). `io`, when given,
    // carries the reads, writes, waits and the close of the opened port (not
    // owned, must outlive the worker); by default the POSIX calls do.
    UartWorker(UartWorkerCallBack* cbk, int port, int baudrate, int databits, int stopbits,
               int parity, const std::atomic<bool>* stopFlag = nullptr, PortIo* io = nullptr);

    // Waits until the thread body has returned; the port is closed by then.
    ~UartWorker() override;

    // The thread body: the whole life of the port. Returns false on every
    // path, so it runs once per start.
    bool threadLoop() override;

    // Reply sink for commands (a NotifyFunc): writes `len` bytes of `data` to
    // the port of the worker `ctx`, resuming after partial writes and after
    // interruptions by signals; stops at any other failure and gives up as a
    // reply does (see above).
    static void notify(void* ctx, unsigned char* data, unsigned int len);

    // The device path for `port`, as the worker opens it.
    static std::string devicePath(int port);

private:
    bool openPort();
    bool setParams();
    bool setBaudrate();
    void closePort();
    void readLoop(char* readBuf, char* lineBuf, char* replyBuf);
    void runLine(char* line, int len, char* replyBuf);
    bool stopRequested() const { return mStopFlag != nullptr && mStopFlag->load(); }
    // Writes all of `data`, resuming after partial writes and interruptions
    // and waiting for room while the peer does not read. Returns the bytes
    // written; when fewer than `len`, logs why, naming the data `what`.
    size_t writeAll(const unsigned char* data, size_t len, const char* what);

    UartWorkerCallBack* mCbk;
    int mPort;
    int mBaudrate;
    int mDatabits;
    int mStopbits;
    int mParity;
    int mFd;
    const std::atomic<bool>* mStopFlag;
    PortIo* mIo;             // not owned
    struct termios mParams;  // line parameters as set, the base of the speed step
};

#endif  // UART_UART_WORKER_H
