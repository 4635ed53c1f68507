// Carries out one dspctl command against the server: builds the "dsp" line
// from the words, sends it, reads and classifies the reply, prints the outcome
// and returns its exit status (ExitCode.h). Shared by the one-shot command
// line and the console.
//
// Command forms (a leading "dsp" word is optional):
//   sync [--json|--raw]              decoded report: table, JSON, or the line
//   hfsync [--json|--raw]
//   getmp [--ext] [-o FILE]          MP.bin frame: to FILE, else a hex dump
//   mpbin FILE                       MP.bin from a 296- or 2560-byte file
//   anything else                    sent as typed; the reply is printed
// Replies go to `out`; messages, each beginning with "dspctl: ", to `err`.
// Not thread-safe; the port is not owned and must stay open while in use.
#ifndef TOOLS_DSPCTL_COMMAND_RUNNER_H
#define TOOLS_DSPCTL_COMMAND_RUNNER_H

#include <cstdio>
#include <string>
#include <vector>

#include "Reply.h"
#include "SerialPort.h"
#include "SessionLog.h"

class CommandRunner {
public:
    // The server takes lines of at most this many bytes, terminator included.
    static constexpr size_t kMaxLineLength = 8191;

    // `timeoutMs`: how long to wait for the first byte of a reply;
    // `quietMs`: how long a reply may pause before it counts as ended.
    CommandRunner(SerialPort& port, int timeoutMs, int quietMs, FILE* out, FILE* err);

    int run(const std::vector<std::string>& words);

    // Every line sent and reply received goes to `log` too (null: none); not owned.
    void setSessionLog(SessionLog* log) { mLog = log; }

    // The command forms, for help texts.
    static const char* formsHelp();

private:
    // Sends `line` and reads its reply. Returns -1 with the reply in *reply,
    // or an exit status after a message when the port failed.
    int exchange(const std::string& line, Reply* reply);
    int runReport(const std::string& name, const std::vector<std::string>& args);
    int runGetMp(const std::vector<std::string>& args);
    int runMpBin(const std::string& path);
    int runLine(const std::vector<std::string>& words);
    // Prints a reply that needs no decoding and returns its exit status.
    int showReply(const Reply& reply);
    int usage(const std::string& message);

    SerialPort& mPort;
    int mTimeoutMs;
    int mQuietMs;
    FILE* mOut;
    FILE* mErr;
    SessionLog* mLog = nullptr;
};

#endif  // TOOLS_DSPCTL_COMMAND_RUNNER_H
