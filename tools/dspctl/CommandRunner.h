// Carries out one dspctl command against the server: builds the "dsp" line
// from the words, sends it, reads and classifies the reply, prints the outcome
// and returns its exit status (ExitCode.h). Shared by the one-shot command
// line and the console.
//
// The words are checked against the command table (CommandTable.h) first: a
// line the server would not carry out is refused with the table's message and
// kExitUsage, nothing sent; a value the server would store otherwise is sent
// with a warning (refused under setStrict). Then dspctl's own commands (help,
// sync and hfsync decoded, getmp to a file, mpbin FILE) are carried out, and
// every other line is sent as typed with its reply printed. A leading "dsp"
// word, or setRawLines(true), sends the line unchanged and unchecked. After a
// "[fail]", a line on `err` names the check the line most likely failed.
// Replies go to `out`; messages, each beginning with "dspctl: ", to `err`.
// Not thread-safe; the port is not owned and must stay open while in use.
#ifndef TOOLS_DSPCTL_COMMAND_RUNNER_H
#define TOOLS_DSPCTL_COMMAND_RUNNER_H

#include <cstdio>
#include <string>
#include <vector>

#include "Reply.h"
#include "SerialPort.h"

class CommandRunner {
public:
    // The server takes lines of at most this many bytes, terminator included.
    static constexpr size_t kMaxLineLength = 8191;

    // `timeoutMs`: how long to wait for the first byte of a reply;
    // `quietMs`: how long a reply may pause before it counts as ended.
    CommandRunner(SerialPort& port, int timeoutMs, int quietMs, FILE* out, FILE* err);

    int run(const std::vector<std::string>& words);

    // Values the server would store otherwise are refused, not warned of.
    void setStrict(bool strict) { mStrict = strict; }
    // Every line is sent unchanged and unchecked, as after a "dsp" word.
    void setRawLines(bool raw) { mRawLines = raw; }

    // False for the commands that never touch the port (help).
    static bool needsPort(const std::vector<std::string>& words) {
        return words.empty() || words.front() != "help";
    }

    // The command forms, for help texts.
    static std::string formsHelp();

private:
    // Sends `line` and reads its reply. Returns -1 with the reply in *reply,
    // or an exit status after a message when the port failed.
    int exchange(const std::string& line, Reply* reply);
    int runReport(const std::string& name, const std::vector<std::string>& args);
    int runGetMp(const std::vector<std::string>& args);
    int runMpBin(const std::string& path);
    int runLine(const std::vector<std::string>& words);
    int runHelp(const std::vector<std::string>& args);
    // After a "[fail]" to the line last sent: the check it most likely hit.
    void explainFail();
    // Prints a reply that needs no decoding and returns its exit status.
    int showReply(const Reply& reply);
    int usage(const std::string& message);

    SerialPort& mPort;
    int mTimeoutMs;
    int mQuietMs;
    FILE* mOut;
    FILE* mErr;
    bool mStrict = false;
    bool mRawLines = false;
    std::string mSentLine;  // the line last sent, for explainFail()
};

#endif  // TOOLS_DSPCTL_COMMAND_RUNNER_H
