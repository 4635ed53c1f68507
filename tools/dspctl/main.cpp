// dspctl: the peer for people. Sends "dsp" commands to dspd over a serial
// line and shows the replies readably; see helpText() and README.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "CommandRunner.h"
#include "Console.h"
#include "ExitCode.h"
#include "Options.h"
#include "SerialPort.h"
#include "SimDevice.h"
#include "StopRequest.h"

namespace {

// How long a reply may pause before it counts as ended. The server writes a
// reply at once, so a longer pause means the reply is over.
constexpr int kQuietMs = 500;

int runConsole(SerialPort& port, const Options& options) {
    FILE* in = stdin;
    const bool fromFile = !options.batchFile.empty() && options.batchFile != "-";
    if (fromFile) {
        in = std::fopen(options.batchFile.c_str(), "re");
        if (in == nullptr) {
            std::fprintf(stderr, "dspctl: cannot read %s: %s\n", options.batchFile.c_str(),
                         std::strerror(errno));
            return kExitFileError;
        }
    }
    const bool interactive = options.batchFile.empty() && isatty(STDIN_FILENO) == 1;
    if (!StopRequest::install()) {
        std::fprintf(stderr, "dspctl: cannot install signal handlers: %s\n", std::strerror(errno));
    }
    if (interactive) {
        std::printf("Type a command (\"help\" lists them, \"quit\" or Ctrl-D ends).\n");
    }
    CommandRunner runner(port, options.timeoutMs, kQuietMs, stdout, stderr);
    Console console(runner, in, interactive, stdout, stderr);
    const int status = console.run();
    if (fromFile) {
        std::fclose(in);
    }
    return status;
}

int runSim(const Options& options) {
    // Handlers first: a Ctrl-C while the server starts must not leave it
    // running behind us.
    if (!StopRequest::install()) {
        std::fprintf(stderr, "dspctl: cannot install signal handlers: %s\n", std::strerror(errno));
    }
    SimDevice device;
    SimDevice::Options simOptions;
    simOptions.server = options.server;
    simOptions.logPath = options.logPath;
    std::string message;
    if (!device.start(simOptions, &message)) {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
        return kExitPortError;
    }
    std::fprintf(stderr, "dspctl: simulated device on %s; server log in %s\n",
                 device.portPath().c_str(), device.logPath().c_str());
    SerialPort port;
    port.attach(device.masterFd());
    int status = runConsole(port, options);
    const int serverStatus = device.stop();
    if (serverStatus == 0) {
        std::fprintf(stderr, "dspctl: server stopped\n");
    } else {
        std::fprintf(stderr, "dspctl: server ended with status %d; see %s\n", serverStatus,
                     device.logPath().c_str());
        if (status == kExitOk) {
            status = kExitPortError;
        }
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // A closed output pipe shows as a failed write, not as a silent death.
    signal(SIGPIPE, SIG_IGN);

    Options options;
    std::string message;
    if (!parseOptions(argc, argv, &options, &message)) {
        std::fprintf(stderr, "dspctl: %s\n(dspctl --help lists the forms)\n", message.c_str());
        return kExitUsage;
    }
    switch (options.mode) {
        case Options::kHelp:
            std::fputs(helpText().c_str(), stdout);
            return kExitOk;
        case Options::kSim:
            return runSim(options);
        case Options::kCommand:
        case Options::kConsole:
            break;
    }
    SerialPort port;
    // "help" needs no device: the port stays closed.
    if (options.mode == Options::kCommand && !CommandRunner::needsPort(options.words)) {
        return CommandRunner(port, options.timeoutMs, kQuietMs, stdout, stderr).run(options.words);
    }
    if (port.open(options.device, options.baud, &message) != 0) {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
        return kExitPortError;
    }
    if (options.mode == Options::kConsole) {
        return runConsole(port, options);
    }
    CommandRunner runner(port, options.timeoutMs, kQuietMs, stdout, stderr);
    return runner.run(options.words);
}
