#include "UartWorkerCallBackImpl.h"

#include <cstdio>
#include <cstring>

#include "LogLine.h"
#include "ServiceManager.h"

int UartWorkerCallBackImpl::onCommand(char* line, int len, char* out, int outlen) {
    if (mRoot == nullptr) {
        return -1;
    }
    if (mEchoToJournal) {
        std::printf("<6>%s\n", line);
    } else {
        std::puts(line);
    }
    // The echo appears when its line is dispatched, whatever the buffering.
    std::fflush(stdout);
    return mRoot->dispatch(line, len, out, outlen);
}

int UartWorkerCallBackImpl::setNotify(NotifyFunc fn, void* ctx) {
    if (mRoot == nullptr) {
        return -1;
    }
    const int result = mRoot->setNotify(fn, ctx);
    const int ready = ServiceManager::notifyReady();
    if (ready < 0) {
        DSP_LOG(WRN, "dspd", "setNotify", "cannot notify the service manager: %s\n",
                std::strerror(-ready));
    }
    return result;
}
