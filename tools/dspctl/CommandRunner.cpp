#include "CommandRunner.h"

#include <errno.h>

#include <cstring>

#include "ExitCode.h"
#include "HexDump.h"
#include "MpBinFile.h"
#include "ReplyReader.h"
#include "ReportDecoder.h"
#include "ReportTable.h"
#include "StateCommands.h"

namespace {

std::string joinWords(const std::vector<std::string>& words) {
    std::string line = "dsp";
    for (const std::string& word : words) {
        line += " " + word;
    }
    return line + "\n";
}

}  // namespace

CommandRunner::CommandRunner(SerialPort& port, int timeoutMs, int quietMs, FILE* out, FILE* err)
    : mPort(port), mTimeoutMs(timeoutMs), mQuietMs(quietMs), mOut(out), mErr(err) {}

const char* CommandRunner::formsHelp() {
    return "  sync [--json|--raw]       the DSP settings of channels 0 to 5, decoded\n"
           "  hfsync [--json|--raw]     the hands-free settings, decoded\n"
           "                            (--raw: the report line as it came)\n"
           "  getmp [--ext] [-o FILE]   read MP.bin (2560-byte extended one with --ext)\n"
           "                            into FILE, or show it as a hex dump\n"
           "  mpbin FILE                write MP.bin from a 296- or 2560-byte file\n"
           "  ITEM [ARGS...]            any other command, e.g. status, vol 40, cvol 2 7\n"
           "A leading \"dsp\" word is optional.\n";
}

int CommandRunner::run(const std::vector<std::string>& input) {
    std::vector<std::string> words = input;
    if (!words.empty() && words.front() == "dsp") {
        words.erase(words.begin());
    }
    if (words.empty()) {
        return usage("no command given");
    }
    for (const std::string& word : words) {
        if (word.find_first_of("\r\n") != std::string::npos) {
            return usage("a word holds a line break, which would end the line early");
        }
    }
    const std::string& item = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
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
    error = reader.read(reply);
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

int CommandRunner::runLine(const std::vector<std::string>& words) {
    const std::string line = joinWords(words);
    if (line.size() > kMaxLineLength) {
        return usage("command line of " + std::to_string(line.size()) +
                     " bytes; the server takes at most " + std::to_string(kMaxLineLength));
    }
    Reply reply;
    const int status = exchange(line, &reply);
    return status >= 0 ? status : showReply(reply);
}

int CommandRunner::runReport(const std::string& name, const std::vector<std::string>& args) {
    bool json = false;
    bool raw = false;
    for (const std::string& arg : args) {
        if (arg == "--json" && !raw) {
            json = true;
        } else if (arg == "--raw" && !json) {
            raw = true;
        } else {
            return usage(name + " takes --json or --raw, not \"" + arg + "\"");
        }
    }
    Reply reply;
    const int status = exchange("dsp " + name + "\n", &reply);
    if (status >= 0) {
        return status;
    }
    if (reply.kind == Reply::kFail && json) {
        std::fprintf(mErr, "dspctl: %s: [fail]\n", name.c_str());
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
    std::string line = "dsp getmp";
    std::string path;
    bool variant = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size() && path.empty()) {
            path = args[++i];
        } else if (args[i] == "--ext" && !variant) {
            line += " ext";
            variant = true;
        } else if (!args[i].empty() && args[i][0] != '-' && !variant) {
            line += " " + args[i];  // the server's own form: "ext..." or anything else
            variant = true;
        } else {
            return usage("getmp takes [--ext] [-o FILE], not \"" + args[i] + "\"");
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
