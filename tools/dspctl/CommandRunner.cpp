#include "CommandRunner.h"

#include <errno.h>

#include <cstring>

#include "CommandTable.h"
#include "ExitCode.h"
#include "HexDump.h"
#include "MpBinFile.h"
#include "ReplyReader.h"
#include "ReportDecoder.h"
#include "ReportTable.h"
#include "StateCommands.h"

namespace {

// The words as the server splits them: a word may hold blanks.
std::vector<std::string> serverWords(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    for (const std::string& word : words) {
        size_t start = word.find_first_not_of(" \t\n");
        while (start != std::string::npos) {
            const size_t end = word.find_first_of(" \t\n", start);
            out.push_back(word.substr(start, end - start));
            start = word.find_first_not_of(" \t\n", end);
        }
    }
    return out;
}

}  // namespace

CommandRunner::CommandRunner(SerialPort& port, int timeoutMs, int quietMs, FILE* out, FILE* err)
    : mPort(port), mTimeoutMs(timeoutMs), mQuietMs(quietMs), mOut(out), mErr(err) {}

std::string CommandRunner::formsHelp() {
    return commandHelp() +
           "A line is checked against these forms before it is sent; one beginning\n"
           "with \"dsp\" is sent as typed, unchecked. \"help ITEM\" explains one.\n";
}

int CommandRunner::run(const std::vector<std::string>& input) {
    std::vector<std::string> words = input;
    bool raw = mRawLines;
    if (!words.empty() && words.front() == "dsp") {
        words.erase(words.begin());
        raw = true;
    }
    if (words.empty()) {
        return usage("no command given");
    }
    for (const std::string& word : words) {
        if (word.find_first_of("\r\n") != std::string::npos) {
            return usage("a word holds a line break, which would end the line early");
        }
    }
    if (raw) {
        return runLine(words);
    }
    words = serverWords(words);
    const CommandCheck check = checkCommand(words);
    if (check.verdict == CommandCheck::kRefused) {
        return usage(check.message + "; nothing sent");
    }
    if (check.verdict == CommandCheck::kWarning) {
        if (mStrict) {
            return usage(check.message + "; refused (--strict), nothing sent");
        }
        std::fprintf(mErr, "dspctl: warning: %s\n", check.message.c_str());
    }
    const std::string& item = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (item == "help") {
        return runHelp(args);
    }
    if (item == "sync" || item == "hfsync") {
        return runReport(item, args);
    }
    if (item == "getmp") {
        return runGetMp(args);
    }
    if (item == "mpbin" && args.size() == 1) {
        return runMpBin(args.front());
    }
    if (item == "store" || item == "restore" || item == "diff") {
        const auto send = [this](const std::string& line, Reply* reply) {
            return exchange(line, reply);
        };
        return StateCommands(send, mPort.path(), mOut, mErr).run(item, args);
    }
    return runLine(words);
}

int CommandRunner::usage(const std::string& message) {
    std::fprintf(mErr, "dspctl: %s\n", message.c_str());
    return kExitUsage;
}

int CommandRunner::exchange(const std::string& line, Reply* reply) {
    ReplyReader reader(mPort.fd(), mTimeoutMs, mQuietMs);
    std::string stale;
    int error = reader.drain(&stale);
    if (error != 0) {
        std::fprintf(mErr, "dspctl: cannot read the port: %s\n", std::strerror(error));
        return kExitPortError;
    }
    if (!stale.empty()) {
        std::fprintf(mErr, "dspctl: dropped %zu bytes that came after an earlier timeout\n",
                     stale.size());
    }
    error = mPort.writeAll(line);
    if (error != 0) {
        std::fprintf(mErr, "dspctl: cannot write to the port: %s\n", std::strerror(error));
        return kExitPortError;
    }
    mSentLine = line;
    if (mLog != nullptr) mLog->sent(line);
    error = reader.read(reply);
    if (mLog != nullptr) mLog->received(*reply);
    if (error == EINTR) {
        std::fprintf(mErr, "dspctl: interrupted while waiting for the reply\n");
        return kExitPortError;
    }
    if (error != 0) {
        std::fprintf(mErr, "dspctl: cannot read the port: %s\n", std::strerror(error));
        return kExitPortError;
    }
    return -1;
}

int CommandRunner::showReply(const Reply& reply) {
    switch (reply.kind) {
        case Reply::kOk:
            std::fprintf(mOut, "[ok]\n");
            return kExitOk;
        case Reply::kFail:
            std::fprintf(mOut, "[fail]\n");
            explainFail();
            return kExitFail;
        case Reply::kReport:
            std::fprintf(mOut, "%s\n", reply.report.c_str());
            return kExitOk;
        case Reply::kTruncated:
            std::fprintf(mOut, "%s\n", reply.report.c_str());
            std::fprintf(mErr, "dspctl: report truncated after %zu bytes: no end mark [ok]\n",
                         reply.report.size());
            return kExitTruncated;
        case Reply::kFrame:
            std::fprintf(mOut, "frame: %zu bytes\n%s[ok]\n", reply.blob.size(),
                         hexDump(reply.blob).c_str());
            return kExitOk;
        case Reply::kNone:
            std::fprintf(mErr, "dspctl: no reply within %g s (an unknown item gets none)\n",
                         mTimeoutMs / 1000.0);
            return kExitNoReply;
        case Reply::kMalformed:
            break;
    }
    std::fprintf(mErr, "dspctl: malformed reply: %s; %zu bytes received:\n%s",
                 reply.problem.c_str(), reply.raw.size(), hexDump(reply.raw).c_str());
    return kExitMalformed;
}

void CommandRunner::explainFail() {
    std::vector<std::string> words = serverWords({mSentLine});
    if (!words.empty()) {
        words.erase(words.begin());  // the "dsp" every line begins with
    }
    const std::string reason = likelyFailReason(words);
    std::fflush(mOut);
    if (reason.empty()) {
        std::fprintf(mErr,
                     "dspctl: [fail]: the line passes every check dspctl knows of; the "
                     "device's log tells why it failed\n");
    } else {
        std::fprintf(mErr, "dspctl: [fail]: likely %s\n", reason.c_str());
    }
}

int CommandRunner::runHelp(const std::vector<std::string>& args) {
    if (args.empty()) {
        std::fprintf(mOut, "Commands, one per line:\n%s", formsHelp().c_str());
    } else {
        std::fprintf(mOut, "%s", commandHelp(args.front()).c_str());
    }
    return kExitOk;
}

int CommandRunner::runLine(const std::vector<std::string>& words) {
    const std::string line = commandLine(words);
    if (line.size() > kMaxLineLength) {
        return usage("command line of " + std::to_string(line.size()) +
                     " bytes; the server takes at most " + std::to_string(kMaxLineLength));
    }
    Reply reply;
    const int status = exchange(line, &reply);
    return status >= 0 ? status : showReply(reply);
}

int CommandRunner::runReport(const std::string& name, const std::vector<std::string>& args) {
    // The table has checked the options.
    const bool json = !args.empty() && args.front() == "--json";
    const bool raw = !args.empty() && args.front() == "--raw";
    Reply reply;
    const int status = exchange("dsp " + name + "\n", &reply);
    if (status >= 0) {
        return status;
    }
    if (reply.kind == Reply::kFail && json) {
        std::fprintf(mErr, "dspctl: %s: [fail]\n", name.c_str());
        explainFail();
        return kExitFail;
    }
    if (raw || (reply.kind != Reply::kReport && reply.kind != Reply::kTruncated)) {
        if (reply.kind == Reply::kOk || reply.kind == Reply::kFrame) {
            std::fprintf(mErr, "dspctl: %s answered with a %s instead of a report\n", name.c_str(),
                         replyKindName(reply.kind));
            return kExitMalformed;
        }
        return showReply(reply);
    }
    const DecodedReport decoded =
        name == "sync" ? decodeSyncReport(reply.report) : decodeHfsyncReport(reply.report);
    if (decoded.status == DecodedReport::kMalformed) {
        std::fprintf(mErr, "dspctl: malformed %s report: %s\n%s\n", name.c_str(),
                     decoded.problem.c_str(), reply.report.c_str());
        return kExitMalformed;
    }
    if (json) {
        std::fprintf(mOut, "%s\n", decoded.values.write().c_str());
    } else {
        const std::string table = name == "sync" ? syncTable(decoded) : hfsyncTable(decoded);
        std::fprintf(mOut, "%s", table.c_str());
    }
    if (decoded.status == DecodedReport::kPartial) {
        std::fprintf(mErr,
                     "dspctl: %s report truncated after %zu bytes: no end mark [ok]; "
                     "only the values before the cut are shown\n",
                     name.c_str(), reply.report.size());
        return kExitTruncated;
    }
    return kExitOk;
}

int CommandRunner::runGetMp(const std::vector<std::string>& args) {
    // The table has checked the options: "-o FILE", and "--ext" or the
    // server's own variant word ("ext...", or anything else for the standard one).
    std::string line = "dsp getmp";
    std::string path;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            path = args[++i];
        } else {
            line += args[i] == "--ext" ? " ext" : " " + args[i];
        }
    }
    Reply reply;
    const int status = exchange(line + "\n", &reply);
    if (status >= 0) {
        return status;
    }
    if (reply.kind == Reply::kOk) {
        std::fprintf(mErr, "dspctl: getmp answered [ok] without a frame\n");
        return kExitMalformed;
    }
    if (reply.kind != Reply::kFrame || path.empty()) {
        return showReply(reply);
    }
    std::string message;
    if (writeMpBinFile(path, reply.blob, &message) != 0) {
        std::fprintf(mErr, "dspctl: %s\n", message.c_str());
        return kExitFileError;
    }
    std::fprintf(mOut, "%zu bytes written to %s\n[ok]\n", reply.blob.size(), path.c_str());
    return kExitOk;
}

int CommandRunner::runMpBin(const std::string& path) {
    std::string blob;
    std::string message;
    // Checked before anything is sent: a wrong blob never reaches the device.
    if (readMpBinFile(path, &blob, &message) != 0) {
        std::fprintf(mErr, "dspctl: %s; nothing sent\n", message.c_str());
        return kExitFileError;
    }
    Reply reply;
    const int status = exchange(mpBinCommandLine(blob), &reply);
    return status >= 0 ? status : showReply(reply);
}
