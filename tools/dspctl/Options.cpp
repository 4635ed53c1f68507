#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "CommandRunner.h"
#include "SerialPort.h"

namespace {

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

// Seconds, fractions allowed, more than 0 and at most an hour.
bool parseSeconds(const std::string& text, int* ms) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end == text.c_str() || *end != '\0' || !std::isfinite(value) ||
        value <= 0.0 || value > 3600.0) {
        return false;
    }
    const int rounded = static_cast<int>(std::lround(value * 1000.0));
    *ms = rounded > 0 ? rounded : 1;
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options* options, std::string* message) {
    bool sim = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        const std::string value = hasValue ? argv[i + 1] : "";
        auto needsValue = [&] {
            *message = "option " + arg + " needs a value";
            return false;
        };
        if (arg == "-h" || arg == "--help") {
            options->mode = Options::kHelp;
            return true;
        }
        if (arg == "sim" && !sim) {
            sim = true;
        } else if (arg == "-t" || arg == "--timeout") {
            if (!hasValue) return needsValue();
            if (!parseSeconds(value, &options->timeoutMs)) {
                *message = "bad timeout \"" + value + "\": seconds, more than 0, at most 3600";
                return false;
            }
            ++i;
        } else if (arg == "-f" || arg == "--file") {
            if (!hasValue) return needsValue();
            options->batchFile = value;
            ++i;
        } else if (!sim && (arg == "-d" || arg == "--device")) {
            if (!hasValue) return needsValue();
            options->device = value;
            ++i;
        } else if (!sim && (arg == "-b" || arg == "--baud")) {
            if (!hasValue) return needsValue();
            if (!parseBaud(value, &options->baud)) {
                *message = "unsupported speed \"" + value +
                           "\": one of 110, 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, "
                           "57600, 115200, 230400, 460800, 921600";
                return false;
            }
            ++i;
        } else if (sim && arg == "--dspd") {
            if (!hasValue) return needsValue();
            options->server = value;
            ++i;
        } else if (sim && arg == "--log") {
            if (!hasValue) return needsValue();
            options->logPath = value;
            ++i;
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            *message = "unknown option " + arg;
            return false;
        } else {
            break;
        }
    }
    for (; i < argc; ++i) {
        options->words.push_back(argv[i]);
    }
    if (sim) {
        if (!options->words.empty()) {
            *message = "sim takes no command words (use -f FILE for a batch)";
            return false;
        }
        options->mode = Options::kSim;
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
               "usage: dspctl [-d DEVICE] [-b BAUD] [-t SECONDS] COMMAND...\n"
               "       dspctl [-d DEVICE] [-b BAUD] [-t SECONDS] [-f FILE|-]\n"
               "       dspctl sim [--dspd PATH] [--log PATH] [-t SECONDS] [-f FILE|-]\n"
               "\n"
               "Sends \"dsp\" commands to dspd over a serial line and shows the replies.\n"
               "With a COMMAND it runs that one command; without, it opens a console\n"
               "(one command per line; a file or piped input runs as a batch).\n"
               "\"sim\" starts dspd on a simulated device and opens the console on it.\n"
               "\n"
               "Commands:\n") +
           CommandRunner::formsHelp() +
           "\n"
           "Options:\n"
           "  -d, --device DEVICE  serial port (default /dev/ttyUSB0), taken for this\n"
           "                       program alone while it runs\n"
           "  -b, --baud BAUD      line speed (default 115200; 8 data bits, no parity,\n"
           "                       1 stop bit, raw)\n"
           "  -t, --timeout SECS   wait this long for a reply to begin (default 2)\n"
           "  -f, --file FILE      console commands from FILE (- for standard input)\n"
           "  --dspd PATH          sim: the server to run (default: the dspd of this\n"
           "                       build, else dspd on PATH)\n"
           "  --log PATH           sim: the server's log file (default: a new file in\n"
           "                       $TMPDIR or /tmp, named when the console opens)\n"
           "\n"
           "Exit status (a console or batch: the first command's status that was not 0):\n"
           "  0   [ok], a complete report, or a checked MP.bin frame and [ok]\n"
           "  1   [fail]\n"
           "  2   no reply within the timeout (an unknown item gets none)\n"
           "  3   report truncated: it lacks its end mark; what came is shown\n"
           "  4   malformed reply: a frame whose length header does not match the bytes\n"
           "      received, or bytes that are no reply\n"
           "  5   port error: the port cannot be opened (or is in use), set up, read or\n"
           "      written; the simulated device cannot be started\n"
           "  6   file error: an MP.bin file that cannot be read or is not 296 or 2560\n"
           "      bytes (nothing is sent), or an output file that cannot be written\n"
           "  64  usage error\n";
}
