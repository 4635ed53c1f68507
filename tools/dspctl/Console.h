// The console: one command per line, carried out by a CommandRunner.
//
// On a terminal, lines come from a LineEditor (editing, history, Tab
// completion) after a "dsp> " prompt. Otherwise (a file or a pipe) they are
// read as a batch that prints only the replies, so its output is what the
// commands give (valid JSON from "sync --json", say). Both: blank lines and
// lines beginning with "#" are skipped; a line that holds a control byte
// other than tab (an escape sequence, say) is refused and nothing of it is
// sent; "quit", "exit", end of input or a stop request (StopRequest) ends
// the console. A SIGINT at a terminal abandons only the line or the wait.
// Not thread-safe; `editor`, `in`, `out` and `err` are not owned.
#ifndef TOOLS_DSPCTL_CONSOLE_H
#define TOOLS_DSPCTL_CONSOLE_H

#include <cstdio>
#include <string>

#include "CommandRunner.h"
#include "LineEditor.h"

class Console {
public:
    // `editor` null: a batch from `in`.
    Console(CommandRunner& runner, LineEditor* editor, FILE* in, FILE* out, FILE* err);

    // Runs until the input ends. Returns 0 when every command ended with
    // status 0, else the status of the first one that did not.
    int run();

    // True, after a message on `err`, when `line` holds a control byte other
    // than tab: such a line never reaches the device, from any input.
    static bool refuseControlBytes(const std::string& line, FILE* err);

private:
    // False at the end of the input.
    bool readLine(std::string* line, bool* cleared);

    CommandRunner& mRunner;
    LineEditor* mEditor;
    FILE* mIn;
    FILE* mOut;
    FILE* mErr;
};

#endif  // TOOLS_DSPCTL_CONSOLE_H
