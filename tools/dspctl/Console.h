// The console: one command per line, carried out by a CommandRunner.
//
// Interactive (a terminal on standard input): a "dsp> " prompt before each
// line; the terminal's own line editing applies (no history). Batch (a file
// or a pipe): no prompt, each line is echoed after "dsp> " so the output
// reads as a session. Both: blank lines and lines beginning with "#" are
// skipped; "help" lists the commands; "quit", "exit", end of input or a stop
// signal (StopRequest) ends the console.
// Not thread-safe; `in`, `out` and `err` are not owned.
#ifndef TOOLS_DSPCTL_CONSOLE_H
#define TOOLS_DSPCTL_CONSOLE_H

#include <cstdio>

#include "CommandRunner.h"

class Console {
public:
    Console(CommandRunner& runner, FILE* in, bool interactive, FILE* out, FILE* err);

    // Runs until the input ends. Returns 0 when every command ended with
    // status 0, else the status of the first one that did not.
    int run();

private:
    CommandRunner& mRunner;
    FILE* mIn;
    bool mInteractive;
    FILE* mOut;
    FILE* mErr;
};

#endif  // TOOLS_DSPCTL_CONSOLE_H
