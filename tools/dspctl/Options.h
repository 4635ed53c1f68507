// dspctl's command line (see helpText() for every form and option).
//
// Options come before the words; everything from the first word on belongs
// to the command (so "sync --json" and "getmp -o FILE" reach it whole), and
// "--" ends the options before a word that begins with "-". "sim" and "serve"
// are words of their own, after which their options may follow. After --complete, every
// argument is a word to complete after.
// DSPCTL_DEVICE names the port when -d does not. Safe from any thread but
// for getopt's state.
#ifndef TOOLS_DSPCTL_OPTIONS_H
#define TOOLS_DSPCTL_OPTIONS_H

#include <string>
#include <vector>

struct Options {
    enum Mode {
        kCommand,   // one command from the words
        kConsole,   // no words: the console on the device
        kSim,       // the console on a simulated device
        kServe,     // serve: the web console on the device (sim --serve: on a simulated one)
        kHelp,      // --help
        kVersion,   // --version
        kComplete,  // --complete WORDS...: what may follow the words
    };

    Mode mode = kConsole;
    std::string device = "/dev/ttyUSB0";
    int baud = 115200;
    int timeoutMs = 2000;
    std::string batchFile;  // console input: "" the terminal or standard input, "-" standard input
    std::string server;     // sim: dspd to run ("" finds it)
    std::string serverLogPath;   // sim: the server's log file ("" a temporary file)
    std::string sessionLogPath;  // --log: "" none
    bool strict = false;         // --strict
    bool rawLines = false;       // --raw-line
    bool simServe = false;       // sim --serve: the web console instead of the terminal's
    std::string listen = "127.0.0.1:8480";  // serve: --listen HOST:PORT
    bool listenGiven = false;
    std::vector<std::string> words;
};

// Fills *options from the arguments and the environment. Returns true, or
// false with a message for people in *message.
bool parseOptions(int argc, char** argv, Options* options, std::string* message);

// The --help text: forms, options, exit statuses, laid out as help2man reads it.
std::string helpText();

#endif  // TOOLS_DSPCTL_OPTIONS_H
