// Connects the serial worker to the command tree: echoes each line on
// standard output and routes it through the root command.
#ifndef APP_UART_WORKER_CALL_BACK_IMPL_H
#define APP_UART_WORKER_CALL_BACK_IMPL_H

#include "Command.h"
#include "UartWorkerCallBack.h"

class UartWorkerCallBackImpl : public UartWorkerCallBack {
public:
    // `root` is not owned and must outlive this object; it may be null.
    explicit UartWorkerCallBackImpl(Command* root) : mRoot(root) {}

    // Writes the line (still carrying its terminator) to standard output with
    // puts, then returns the root's dispatch() result. -1 without a root.
    int onCommand(char* line, int len, char* out, int outlen) override;

    // Hands the sink to the root. -1 without a root.
    int setNotify(NotifyFunc fn, void* ctx) override;

private:
    Command* mRoot;
};

#endif  // APP_UART_WORKER_CALL_BACK_IMPL_H
