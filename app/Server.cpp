#include "Server.h"

#include <unistd.h>

#include <cstdio>

#include "AudioCommand.h"
#include "Command.h"
#include "LogLine.h"
#include "PortArgument.h"
#include "ServiceManager.h"
#include "StopSignal.h"
#include "UartWorker.h"
#include "UartWorkerCallBackImpl.h"

namespace {

constexpr int kBaudrate = 115200;
constexpr int kDataBits = 8;
constexpr int kStopBits = 1;
constexpr int kParity = 'n';

}  // namespace

int serverMain(int argc, char** argv) {
    // Fully buffered: the callback flushes each echo as one write when its
    // line is dispatched (line buffering would write a line that still ends
    // in its LF in two).
    std::setvbuf(stdout, nullptr, _IOFBF, BUFSIZ);
    if (!StopSignal::install()) {
        DSP_LOG(WRN, "dspd", "main", "cannot install stop signal handlers\n");
    }

    Command root;
    UartWorkerCallBackImpl callback(&root, ServiceManager::isJournal(STDOUT_FILENO));
    root.add(new AudioCommand());
    const int port = portFromArguments(argc, argv);

    UartWorker* worker = new UartWorker(&callback, port, kBaudrate, kDataBits, kStopBits, kParity,
                                        &StopSignal::flag());
    // Stop signals now go to the worker thread, whose blocking read they
    // interrupt, so it sees the request at once.
    if (!StopSignal::blockInThisThread()) {
        DSP_LOG(WRN, "dspd", "main", "cannot route stop signals to the worker\n");
    }
    // The destructor waits for the worker's thread: this is where the main
    // thread spends the run.
    delete worker;
    return 0;
}
