#include "Options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CommandRunner.h"
#include "ConsoleServer.h"
#include "SerialPort.h"

namespace {

enum LongOnly {
    kOptVersion = 256,
    kOptStrict,
    kOptRawLine,
    kOptLog,
    kOptComplete,
    kOptDspd,
    kOptServerLog,
    kOptServe,
    kOptListen,
};

const struct option kLongOptions[] = {
    {"device", required_argument, nullptr, 'd'},
    {"baud", required_argument, nullptr, 'b'},
    {"timeout", required_argument, nullptr, 't'},
    {"file", required_argument, nullptr, 'f'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, kOptVersion},
    {"strict", no_argument, nullptr, kOptStrict},
    {"raw-line", no_argument, nullptr, kOptRawLine},
    {"log", required_argument, nullptr, kOptLog},
    {"complete", no_argument, nullptr, kOptComplete},
    {"dspd", required_argument, nullptr, kOptDspd},
    {"server-log", required_argument, nullptr, kOptServerLog},
    {"serve", no_argument, nullptr, kOptServe},
    {"listen", required_argument, nullptr, kOptListen},
    {nullptr, 0, nullptr, 0},
};

bool parseBaud(const std::string& text, int* baud) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' ||
        !SerialPort::isKnownBaud(static_cast<int>(value)) || value != static_cast<int>(value)) {
        return false;
    }
    *baud = static_cast<int>(value);
    return true;
}

// Seconds, fractions allowed, from a millisecond (a shorter wait would round
// to none) to an hour.
bool parseSeconds(const std::string& text, int* ms) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(value) ||
        value < 0.001 || value > 3600.0) {
        return false;
    }
    *ms = static_cast<int>(std::lround(value * 1000.0));
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options* options, std::string* message) {
    bool sim = false;
    bool serve = false;
    std::string portOption;  // the first option that names the port's side
    std::string simOption;   // the first option of sim alone
    bool deviceGiven = false;
    optind = 0;  // a full restart of getopt's scan
    opterr = 0;
    for (;;) {
        const int c = getopt_long(argc, argv, "+:d:b:t:f:h", kLongOptions, nullptr);
        const std::string typed = optind > 0 && optind <= argc ? argv[optind - 1] : "";
        const std::string value = optarg != nullptr ? optarg : "";
        if (c == -1) {
            const bool dashes = typed == "--";
            if (!sim && !dashes && optind < argc && std::strcmp(argv[optind], "sim") == 0) {
                sim = true;
                ++optind;
                continue;
            }
            if (!sim && !serve && !dashes && optind < argc &&
                std::strcmp(argv[optind], "serve") == 0) {
                serve = true;
                ++optind;
                continue;
            }
            break;
        }
        switch (c) {
            case 'h':
                options->mode = Options::kHelp;
                return true;
            case kOptVersion:
                options->mode = Options::kVersion;
                return true;
            case kOptComplete:
                options->mode = Options::kComplete;
                options->words.assign(argv + optind, argv + argc);
                return true;
            case 'd':
            case 'b':
                if (portOption.empty()) portOption = c == 'd' ? "-d/--device" : "-b/--baud";
                if (c == 'd') {
                    options->device = value;
                    deviceGiven = true;
                } else if (!parseBaud(value, &options->baud)) {
                    *message = "unsupported speed \"" + value +
                               "\": one of 110, 300, 600, 1200, 2400, 4800, 9600, 19200, "
                               "38400, 57600, 115200, 230400, 460800, 921600";
                    return false;
                }
                break;
            case 't':
                if (!parseSeconds(value, &options->timeoutMs)) {
                    *message =
                        "bad timeout \"" + value + "\": seconds, at least 0.001, at most 3600";
                    return false;
                }
                break;
            case 'f':
                options->batchFile = value;
                break;
            case kOptStrict:
                options->strict = true;
                break;
            case kOptRawLine:
                options->rawLines = true;
                break;
            case kOptLog:
                options->sessionLogPath = value;
                break;
            case kOptDspd:
            case kOptServerLog:
                if (simOption.empty()) simOption = c == kOptDspd ? "--dspd" : "--server-log";
                (c == kOptDspd ? options->server : options->serverLogPath) = value;
                break;
            case kOptServe:
                options->simServe = true;
                break;
            case kOptListen:
                options->listen = value;
                options->listenGiven = true;
                break;
            case ':':
                *message = "option " + typed + " needs a value";
                return false;
            default:
                *message = "unknown option " +
                           (optopt != 0 ? "-" + std::string(1, static_cast<char>(optopt)) : typed);
                return false;
        }
    }
    options->words.assign(argv + optind, argv + argc);
    if (options->listenGiven && !serve && !options->simServe) {
        *message = "--listen is an option of serve and sim --serve";
        return false;
    }
    if (options->simServe && !sim) {
        *message = "--serve is an option of sim (dspctl sim --serve)";
        return false;
    }
    std::string host;
    int port = 0;
    if ((serve || options->simServe) &&
        !ConsoleServer::parseListen(options->listen, &host, &port, message)) {
        return false;
    }
    if ((serve || options->simServe) && !options->batchFile.empty()) {
        *message = "the web console takes no -f FILE";
        return false;
    }
    if (sim) {
        if (!options->words.empty()) {
            *message = "sim takes no command words (use -f FILE for a batch)";
            return false;
        }
        if (!portOption.empty()) {
            *message =
                "sim starts a simulated device of its own: " + portOption + " does not apply";
            return false;
        }
        options->mode = Options::kSim;
        return true;
    }
    if (!simOption.empty()) {
        *message = simOption + " is an option of sim (dspctl sim " + simOption + " PATH)";
        return false;
    }
    const char* device = std::getenv("DSPCTL_DEVICE");
    if (!deviceGiven && device != nullptr && device[0] != '\0') {
        options->device = device;
    }
    if (serve) {
        if (!options->words.empty()) {
            *message = "serve takes no command words";
            return false;
        }
        options->mode = Options::kServe;
    } else if (!options->words.empty()) {
        if (!options->batchFile.empty()) {
            *message = "give either command words or -f FILE, not both";
            return false;
        }
        options->mode = Options::kCommand;
    } else {
        options->mode = Options::kConsole;
    }
    return true;
}

std::string helpText() {
    return std::string(
               "Usage: dspctl [OPTION]... COMMAND...\n"
               "  or:  dspctl [OPTION]... [-f FILE|-]\n"
               "  or:  dspctl sim [--dspd PATH] [--server-log PATH] [OPTION]... [-f FILE|-]\n"
               "  or:  dspctl serve [-d DEVICE] [--listen HOST:PORT] [OPTION]...\n"
               "  or:  dspctl sim --serve [--listen HOST:PORT] [OPTION]...\n"
               "  or:  dspctl --complete [WORD]...\n"
               "Send \"dsp\" commands to dspd over a serial line and show the replies.\n"
               "\n"
               "With a COMMAND, dspctl runs that one command. Without, it opens a console:\n"
               "one command per line, with line editing, history and Tab completion on a\n"
               "terminal; a file or piped input runs as a batch that prints only the\n"
               "replies. \"sim\" starts dspd on a simulated device and opens the console\n"
               "on it. \"serve\" (or \"sim --serve\") opens a web console on the device\n"
               "instead: it prints the URL to open, access token included\n"
               "(docs/console.md).\n"
               "\n"
               "Commands:\n") +
           CommandRunner::formsHelp() +
           "\n"
           "Options:\n"
           "  -d, --device=DEVICE  serial port (default $DSPCTL_DEVICE, else\n"
           "                       /dev/ttyUSB0), held for this program alone\n"
           "  -b, --baud=BAUD      line speed (default 115200; 8 data bits, no parity,\n"
           "                       1 stop bit, raw)\n"
           "  -t, --timeout=SECS   wait this long for a reply to begin (default 2,\n"
           "                       0.001 to 3600)\n"
           "  -f, --file=FILE      console commands from FILE (- for standard input)\n"
           "      --log=FILE       append every line sent and every reply received,\n"
           "                       with its time, to FILE (frames in hex)\n"
           "      --strict         refuse a value the device would store otherwise\n"
           "                       instead of warning\n"
           "      --raw-line       send every line as typed, unchecked\n"
           "      --dspd=PATH      sim: the server to run (default: the dspd of this\n"
           "                       build, else dspd on PATH)\n"
           "      --server-log=PATH  sim: the server's log file (default: a new file\n"
           "                       in $TMPDIR or /tmp, named when the console opens)\n"
           "      --serve          sim: the web console instead of the terminal's\n"
           "      --listen=HOST:PORT  serve: the address to listen on (default\n"
           "                       127.0.0.1:8480; port 0 takes a free one)\n"
           "      --complete [WORD]...  print the words that may follow WORDs, one a\n"
           "                       line, and exit (for shell completion)\n"
           "  -h, --help           print this help and exit\n"
           "      --version        print the version and exit\n"
           "\n"
           "Console keys:\n"
           "  Tab completes an item or keyword, Up and Down recall earlier lines,\n"
           "  Ctrl-C drops the line being typed or abandons the wait for a reply,\n"
           "  Ctrl-D or \"quit\" ends the console.\n"
           "\n"
           "Environment:\n"
           "  DSPCTL_DEVICE    the port when -d names none\n"
           "  XDG_STATE_HOME   the history is $XDG_STATE_HOME/dspctl/history (default\n"
           "                   ~/.local/state/dspctl/history)\n"
           "  DSPD_SIM_FAIL    sim: passed to the server (service operations that fail)\n"
           "\n"
           "Exit status:\n"
           "  A console or batch exits with the first status that was not 0.\n"
           "  0   [ok], a complete report, or a checked MP.bin frame and [ok]\n"
           "  1   [fail]\n"
           "  2   no reply within the timeout (an unknown item gets none)\n"
           "  3   report truncated: it lacks its end mark; what came is shown\n"
           "  4   malformed reply: a frame whose length header does not match the bytes\n"
           "      received, or bytes that are no reply\n"
           "  5   port error: the port cannot be opened (or is in use), set up, read or\n"
           "      written; the simulated device cannot be started; a wait abandoned\n"
           "  6   file error: an MP.bin file that cannot be read or is not 296 or 2560\n"
           "      bytes (nothing is sent), an input, log or output file that cannot be\n"
           "      opened or written\n"
           "  64  usage error, or a line refused before it was sent\n";
}
