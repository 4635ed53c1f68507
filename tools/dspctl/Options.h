// dspctl's command line.
//
//   dspctl [-d DEVICE] [-b BAUD] [-t SECONDS] [WORDS...]
//   dspctl [-d DEVICE] [-b BAUD] [-t SECONDS] -f FILE|-
//   dspctl sim [--dspd PATH] [--log PATH] [-t SECONDS] [-f FILE|-]
//   dspctl -h|--help
//
// Options come before the words; everything from the first word on belongs
// to the command (so "sync --json" and "getmp -o FILE" reach it whole).
// Pure functions; safe from any thread.
#ifndef TOOLS_DSPCTL_OPTIONS_H
#define TOOLS_DSPCTL_OPTIONS_H

#include <string>
#include <vector>

struct Options {
    enum Mode {
        kCommand,  // one command from the words
        kConsole,  // no words: the console on the device
        kSim,      // the console on a simulated device
        kHelp,
    };

    Mode mode = kConsole;
    std::string device = "/dev/ttyUSB0";
    int baud = 115200;
    int timeoutMs = 2000;
    std::string batchFile;  // console input: "" the terminal or standard input, "-" standard input
    std::string server;     // sim: dspd to run ("" finds it)
    std::string logPath;    // sim: the server's log file ("" a temporary file)
    std::vector<std::string> words;
};

// Fills *options from the arguments. Returns true, or false with a message
// for people in *message.
bool parseOptions(int argc, char** argv, Options* options, std::string* message);

// The --help text: forms, options, exit statuses.
std::string helpText();

#endif  // TOOLS_DSPCTL_OPTIONS_H
