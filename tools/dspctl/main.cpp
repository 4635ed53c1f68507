// dspctl: the peer for people. Sends "dsp" commands to dspd over a serial
// line and shows the replies readably; see helpText() and docs/dspctl.md.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "CommandRunner.h"
#include "CommandTable.h"
#include "Console.h"
#include "ConsoleServer.h"
#include "ExitCode.h"
#include "LineEditor.h"
#include "Options.h"
#include "SerialPort.h"
#include "SessionLog.h"
#include "SimDevice.h"
#include "StopRequest.h"

namespace {

// How long a reply may pause before it counts as ended. The server writes a
// reply at once, so a longer pause means the reply is over.
constexpr int kQuietMs = 500;

// What every command needs besides the port: options, console input, log.
struct Session {
    const Options& options;
    FILE* in;
    SessionLog* log;
};

void installHandlers(bool sigintInterrupts) {
    if (!StopRequest::install(sigintInterrupts)) {
        std::fprintf(stderr, "dspctl: cannot install signal handlers: %s\n", std::strerror(errno));
    }
}

CommandRunner makeRunner(SerialPort& port, const Session& session) {
    CommandRunner runner(port, session.options.timeoutMs, kQuietMs, stdout, stderr);
    runner.setSessionLog(session.log);
    runner.setStrict(session.options.strict);
    runner.setRawLines(session.options.rawLines);
    return runner;
}

int runConsole(SerialPort& port, const Session& session) {
    // At a terminal, lines are edited; the prompt and echo stay on the
    // terminal when the replies go elsewhere.
    std::unique_ptr<LineEditor> editor;
    if (session.options.batchFile.empty() && isatty(STDIN_FILENO) == 1) {
        FILE* screen = isatty(STDOUT_FILENO) == 1 ? stdout : stderr;
        editor.reset(new LineEditor(stdin, screen, stderr, LineEditor::defaultHistoryPath()));
        if (!editor->ok()) {
            std::fprintf(stderr, "dspctl: cannot set up line editing on the terminal\n");
            return kExitPortError;
        }
        std::fprintf(screen, "Type a command (\"help\" lists them, \"quit\" or Ctrl-D ends).\n");
    }
    installHandlers(editor != nullptr);
    CommandRunner runner = makeRunner(port, session);
    Console console(runner, editor.get(), session.in, stdout, stderr);
    return console.run();
}

// The web console until SIGINT, SIGTERM or SIGHUP: those are blocked and
// waited for here, so that the server's threads never see them.
int runServe(SerialPort& port, const Session& session) {
    std::string host;
    int portNumber = 0;
    std::string message;
    ConsoleServer server(port, session.options.timeoutMs, kQuietMs);
    if (!ConsoleServer::parseListen(session.options.listen, &host, &portNumber, &message) ||
        !server.bind(host, portNumber, &message)) {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
        return kExitPortError;
    }
    if (host != "127.0.0.1" && host != "localhost") {
        std::fprintf(stderr,
                     "dspctl: warning: listening on %s, not on this machine alone: anyone who "
                     "has the URL can change the device\n",
                     host.c_str());
    }
    std::printf("Open %s\n", server.url().c_str());
    std::fflush(stdout);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0) {
        std::fprintf(stderr, "dspctl: cannot block the stop signals\n");
        return kExitPortError;
    }
    if (StopRequest::requested()) {
        return kExitOk;
    }
    bool served = true;
    std::thread thread([&server, &served] {
        served = server.serve();
        if (!served) kill(getpid(), SIGTERM);  // wakes the wait below
    });
    int signal = 0;
    sigwait(&stops, &signal);
    server.stop();
    thread.join();
    if (!served) {
        std::fprintf(stderr, "dspctl: the web console failed\n");
        return kExitPortError;
    }
    std::fprintf(stderr, "dspctl: web console stopped\n");
    return kExitOk;
}

int runSim(const Session& session) {
    // Handlers first: a Ctrl-C while the server starts must not leave it
    // running behind us.
    installHandlers(false);
    SimDevice device;
    SimDevice::Options simOptions;
    simOptions.server = session.options.server;
    simOptions.logPath = session.options.serverLogPath;
    std::string message;
    if (!device.start(simOptions, &message)) {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
        return kExitPortError;
    }
    std::fprintf(stderr, "dspctl: simulated device on %s; server log in %s\n",
                 device.portPath().c_str(), device.logPath().c_str());
    SerialPort port;
    port.attach(device.masterFd());
    int status = session.options.simServe ? runServe(port, session) : runConsole(port, session);
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

int runOnPort(const Session& session) {
    const Options& options = session.options;
    if (options.mode == Options::kSim) {
        return runSim(session);
    }
    std::string line;
    for (const std::string& word : options.words) {
        line += word + " ";
    }
    if (Console::refuseControlBytes(line, stderr)) {
        return kExitUsage;
    }
    SerialPort port;
    // "help" needs no device: the port stays closed.
    if (options.mode == Options::kCommand && !CommandRunner::needsPort(options.words)) {
        return makeRunner(port, session).run(options.words);
    }
    std::string message;
    if (port.open(options.device, options.baud, &message) != 0) {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
        return kExitPortError;
    }
    if (options.mode == Options::kConsole) {
        return runConsole(port, session);
    }
    if (options.mode == Options::kServe) {
        installHandlers(false);
        return runServe(port, session);
    }
    return makeRunner(port, session).run(options.words);
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
        case Options::kVersion:
            std::printf("dspctl %s\n", DSPCTL_VERSION);
            return kExitOk;
        case Options::kComplete:
            for (const std::string& word : commandCompletions(options.words)) {
                std::printf("%s\n", word.c_str());
            }
            return kExitOk;
        case Options::kSim:
        case Options::kServe:
        case Options::kCommand:
        case Options::kConsole:
            break;
    }
    // The files come before the port, so that a missing one is named first.
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
    SessionLog log;
    int status = kExitFileError;
    if (options.sessionLogPath.empty() || log.open(options.sessionLogPath, stderr, &message) == 0) {
        status = runOnPort({options, in, options.sessionLogPath.empty() ? nullptr : &log});
    } else {
        std::fprintf(stderr, "dspctl: %s\n", message.c_str());
    }
    if (fromFile) {
        std::fclose(in);
    }
    return status;
}
