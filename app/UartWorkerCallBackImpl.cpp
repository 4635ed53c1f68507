#include "UartWorkerCallBackImpl.h"

#include <cstdio>

int UartWorkerCallBackImpl::onCommand(char* line, int len, char* out, int outlen) {
    if (mRoot == nullptr) {
        return -1;
    }
    std::puts(line);
    return mRoot->dispatch(line, len, out, outlen);
}

int UartWorkerCallBackImpl::setNotify(NotifyFunc fn, void* ctx) {
    if (mRoot == nullptr) {
        return -1;
    }
    return mRoot->setNotify(fn, ctx);
}
