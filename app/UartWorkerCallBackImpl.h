// Connects the serial worker to the command tree: echoes each line on
// standard output and routes it through the root command. The worker hands
// its reply sink over once the port is configured, so that is also where a
// service manager learns that the server is ready.
#ifndef APP_UART_WORKER_CALL_BACK_IMPL_H
#define APP_UART_WORKER_CALL_BACK_IMPL_H

#include "Command.h"
#include "UartWorkerCallBack.h"

class UartWorkerCallBackImpl : public UartWorkerCallBack {
public:
    // `root` is not owned and must outlive this object; it may be null.
    // `echoToJournal`: standard output is the journal, which takes a "<N>" at
    // the start of a line as its priority; each echo then carries the
    // information priority first, so no peer's line can choose its own.
    explicit UartWorkerCallBackImpl(Command* root, bool echoToJournal = false)
        : mRoot(root), mEchoToJournal(echoToJournal) {}

    // Writes the line (still carrying its terminator) to standard output with
    // puts, "<6>" first when echoing to the journal; then returns the root's
    // dispatch() result. -1 without a root.
    int onCommand(char* line, int len, char* out, int outlen) override;

    // Hands the sink to the root, then tells a service manager that waits for
    // it (ServiceManager::notifyReady) that the server is ready. -1 without a
    // root; otherwise the root's result.
    int setNotify(NotifyFunc fn, void* ctx) override;

private:
    Command* mRoot;
    bool mEchoToJournal;
};

#endif  // APP_UART_WORKER_CALL_BACK_IMPL_H
