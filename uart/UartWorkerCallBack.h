// How the serial worker hands received lines and its reply sink on.
#ifndef UART_UART_WORKER_CALL_BACK_H
#define UART_UART_WORKER_CALL_BACK_H

#include "CommandItem.h"

class UartWorkerCallBack {
public:
    // Runs one received line of `len` bytes, terminator included and a NUL
    // after it; the line is writable. `out` is the reply buffer of `outlen`
    // bytes. Returns how many bytes of `out` to send; 0 or less sends nothing.
    virtual int onCommand(char* line, int len, char* out, int outlen) = 0;

    // Hands the reply sink on; called once, before the first line.
    virtual int setNotify(NotifyFunc fn, void* ctx) = 0;

protected:
    // Never deleted through this interface.
    ~UartWorkerCallBack() = default;
};

#endif  // UART_UART_WORKER_CALL_BACK_H
