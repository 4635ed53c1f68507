#include "StateCommands.h"

#include <time.h>

#include <utility>

#include "CommandTable.h"
#include "ExitCode.h"
#include "MpBinFile.h"
#include "ReportDecoder.h"

namespace {

// The bytes a command costs on the wire: its line and the "[ok]" with its NUL.
size_t wireCost(const std::vector<std::string>& words) { return commandLine(words).size() + 5; }

std::string joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        text += (text.empty() ? "" : " ") + word;
    }
    return text;
}

// A command as people read it in a report: the long lines shortened.
std::string shown(const std::vector<std::string>& words) {
    if (words.size() == 3 && words[0] == "mpbin") {
        return "mpbin " + words[1] + " (" +
               (words[1] == std::to_string(kMpBinStandardSize) ? "standard" : "extended") +
               " MP.bin)";
    }
    if (words.size() > 3 && words[0] == "bq" && words[1] == "channel") {
        return "bq channel " + words[2] + " (all 20 bands)";
    }
    return joined(words);
}

// The words of "mpbin SIZE XX:XX:...", as mpbin FILE sends them.
std::vector<std::string> mpBinWords(const std::string& blob) {
    std::string line = mpBinCommandLine(blob);
    line.pop_back();  // the line feed
    std::vector<std::string> words;
    size_t start = line.find(' ') + 1;  // after "dsp"
    for (size_t space; (space = line.find(' ', start)) != std::string::npos; start = space + 1) {
        words.push_back(line.substr(start, space - start));
    }
    words.push_back(line.substr(start));
    return words;
}

std::string utcNow() {
    const time_t now = time(nullptr);
    struct tm parts;
    char text[32] = "";
    if (now != static_cast<time_t>(-1) && gmtime_r(&now, &parts) != nullptr) {
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    }
    return text;
}

// How two blobs differ: "3 of 296 bytes differ, the first at byte 16".
std::string blobDifference(const std::string& a, const std::string& b) {
    size_t count = 0;
    size_t first = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] != b[i] && count++ == 0) {
            first = i;
        }
    }
    return std::to_string(count) + " of " + std::to_string(a.size()) +
           " bytes differ, the first at byte " + std::to_string(first);
}

// A value as in the file: a real printed as inf or nan is a string there.
JsonValue jsonOf(const StateSetting& s) {
    const bool number = s.text.find_first_not_of("-.0123456789") == std::string::npos;
    return number ? JsonValue::number(s.text) : JsonValue::string(s.text);
}

}  // namespace

StateCommands::StateCommands(Exchange exchange, std::string port, FILE* out, FILE* err)
    : mExchange(std::move(exchange)), mPort(std::move(port)), mOut(out), mErr(err) {}

int StateCommands::usage(const std::string& message) {
    std::fprintf(mErr, "dspctl: %s\n", message.c_str());
    return kExitUsage;
}

int StateCommands::run(const std::string& item, const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    bool option = false;
    const char* optionName = item == "restore" ? "--dry-run" : item == "diff" ? "--json" : "";
    for (const std::string& arg : args) {
        if (arg == optionName && !option) {
            option = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(item + ": unknown option \"" + arg + "\"");
        } else {
            paths.push_back(arg);
        }
    }
    if (item == "store" && paths.size() == 1) {
        return store(paths[0]);
    }
    if (item == "restore" && paths.size() == 1) {
        return restore(paths[0], option);
    }
    if (item == "diff" && (paths.size() == 1 || paths.size() == 2)) {
        return diff(paths[0], paths.size() == 2 ? paths[1] : "", option);
    }
    return usage(item == "store"     ? "store takes FILE, or - for standard output"
                 : item == "restore" ? "restore takes FILE [--dry-run]"
                                     : "diff takes A [B] [--json]: two state files, or one and "
                                       "the device");
}

int StateCommands::readReply(const std::string& line, Reply::Kind want, Reply* reply) {
    const int status = mExchange(line, reply);
    if (status >= 0) {
        return status;
    }
    if (reply->kind == want) {
        return kExitOk;
    }
    const std::string what = line.substr(4, line.size() - 5);
    std::fprintf(mErr, "dspctl: %s answered with a %s: the state cannot be read\n", what.c_str(),
                 replyKindName(reply->kind));
    switch (reply->kind) {
        case Reply::kFail:
            return kExitFail;
        case Reply::kNone:
            return kExitNoReply;
        case Reply::kTruncated:
            return kExitTruncated;
        default:
            return kExitMalformed;
    }
}

int StateCommands::readDevice(DeviceState* state, JsonValue* document) {
    Reply reports[2];
    const char* const names[2] = {"sync", "hfsync"};
    for (int i = 0; i < 2; ++i) {
        const int status =
            readReply("dsp " + std::string(names[i]) + "\n", Reply::kReport, &reports[i]);
        if (status != kExitOk) {
            return status;
        }
    }
    std::string blobs[2];
    const char* const lines[2] = {"dsp getmp\n", "dsp getmp ext\n"};
    for (int i = 0; i < 2; ++i) {
        Reply reply;
        const int status = readReply(lines[i], Reply::kFrame, &reply);
        if (status != kExitOk) {
            return status;
        }
        blobs[i] = std::move(reply.blob);
    }
    const DecodedReport sync = decodeSyncReport(reports[0].report);
    const DecodedReport hfsync = decodeHfsyncReport(reports[1].report);
    for (const DecodedReport* decoded : {&sync, &hfsync}) {
        if (decoded->status != DecodedReport::kComplete) {
            std::fprintf(mErr, "dspctl: malformed %s report: %s\n",
                         decoded == &sync ? "sync" : "hfsync", decoded->problem.c_str());
            return kExitMalformed;
        }
    }
    *document = stateDocument(sync.values, hfsync.values, blobs,
                              mPort.empty() ? "(simulated device)" : mPort, utcNow());
    std::string problem;
    if (!readState(*document, state, &problem)) {
        std::fprintf(mErr, "dspctl: the device's state does not fit a state file: %s\n",
                     problem.c_str());
        return kExitMalformed;
    }
    return kExitOk;
}

int StateCommands::load(const std::string& path, DeviceState* state) {
    std::string problem;
    if (!loadStateFile(path, state, &problem)) {
        std::fprintf(mErr, "dspctl: %s; nothing sent\n", problem.c_str());
        return kExitFileError;
    }
    return kExitOk;
}

int StateCommands::store(const std::string& path) {
    DeviceState state;
    JsonValue document;
    const int status = readDevice(&state, &document);
    if (status != kExitOk) {
        return status;
    }
    const std::string text = document.write() + "\n";
    if (path == "-") {
        std::fputs(text.c_str(), mOut);
        return kExitOk;
    }
    std::string message;
    if (replaceFile(path, text, &message) != 0) {
        std::fprintf(mErr, "dspctl: %s\n", message.c_str());
        return kExitFileError;
    }
    std::fprintf(mOut, "%zu settings and both MP.bin blobs stored in %s\n", state.settings.size(),
                 path.c_str());
    return kExitOk;
}

std::vector<std::vector<std::string>> StateCommands::plan(const DeviceState& from,
                                                          const DeviceState& to) {
    std::vector<std::vector<std::string>> commands;
    const std::vector<StateSetting>& want = to.settings;
    for (size_t i = 0; i < want.size();) {
        // The run of settings sharing one line head (one alone when none).
        size_t end = i + 1;
        while (!want[i].group.empty() && end < want.size() && want[end].group == want[i].group) {
            ++end;
        }
        std::vector<std::vector<std::string>> singles;
        std::vector<std::string> whole = want[i].group;
        size_t singleCost = 0;
        for (size_t j = i; j < end; ++j) {
            whole.push_back(want[j].text);
            if (want[j].text != from.settings[j].text) {
                singles.push_back(want[j].words);
                singleCost += wireCost(want[j].words);
            }
        }
        if (!singles.empty()) {
            const bool singlesOnly = !want[i].words.empty();
            if (want[i].group.empty() || (singlesOnly && singleCost <= wireCost(whole))) {
                commands.insert(commands.end(), singles.begin(), singles.end());
            } else {
                commands.push_back(whole);
            }
        }
        i = end;
    }
    for (int i = 0; i < 2; ++i) {
        if (from.blobs[i] != to.blobs[i]) {
            commands.push_back(mpBinWords(to.blobs[i]));
        }
    }
    return commands;
}

int StateCommands::restore(const std::string& path, bool dryRun) {
    DeviceState target;
    int status = load(path, &target);
    if (status != kExitOk) {
        return status;
    }
    const std::string range = stateRangeProblem(target);
    if (!range.empty()) {
        std::fprintf(mErr, "dspctl: %s: %s; nothing sent\n", path.c_str(), range.c_str());
        return kExitFileError;
    }
    DeviceState device;
    JsonValue document;
    status = readDevice(&device, &document);
    if (status != kExitOk) {
        return status;
    }
    const std::vector<std::vector<std::string>> commands = plan(device, target);
    if (dryRun) {
        for (const auto& words : commands) {
            std::fprintf(mOut, "%s\n", joined(words).c_str());
        }
        std::fprintf(mErr, "dspctl: %zu commands would be sent; none was\n", commands.size());
        return kExitOk;
    }
    for (size_t i = 0; i < commands.size(); ++i) {
        Reply reply;
        status = mExchange(commandLine(commands[i]), &reply);
        if (status < 0 && reply.kind == Reply::kOk) {
            std::fprintf(mOut, "[ok] %s\n", shown(commands[i]).c_str());
            continue;
        }
        if (status < 0) {
            const std::string reason =
                reply.kind == Reply::kFail ? likelyFailReason(commands[i]) : "";
            std::fprintf(mOut, "[%s] %s%s%s\n", reply.kind == Reply::kFail ? "fail" : "no [ok]",
                         shown(commands[i]).c_str(), reason.empty() ? "" : ": likely ",
                         reason.c_str());
            status = reply.kind == Reply::kFail   ? kExitFail
                     : reply.kind == Reply::kNone ? kExitNoReply
                                                  : kExitMalformed;
        }
        for (size_t j = i + 1; j < commands.size(); ++j) {
            std::fprintf(mOut, "[not sent] %s\n", shown(commands[j]).c_str());
        }
        std::fprintf(mErr,
                     "dspctl: restore stopped at \"%s\": the %zu commands before it were "
                     "carried out; it and the %zu after it are left undone\n",
                     shown(commands[i]).c_str(), i, commands.size() - i - 1);
        return status;
    }
    DeviceState after;
    status = readDevice(&after, &document);
    if (status != kExitOk) {
        return status;
    }
    const std::vector<std::vector<std::string>> left = plan(after, target);
    for (const auto& words : left) {
        std::fprintf(mOut, "[not verified] %s\n", shown(words).c_str());
    }
    if (!left.empty()) {
        std::fprintf(mErr, "dspctl: %zu command%s sent, yet the device differs from %s\n",
                     commands.size(), commands.size() == 1 ? "" : "s", path.c_str());
        return kExitFail;
    }
    std::fprintf(mOut, "%zu command%s sent; the device's state is that of %s\n", commands.size(),
                 commands.size() == 1 ? "" : "s", path.c_str());
    return kExitOk;
}

int StateCommands::diff(const std::string& a, const std::string& b, bool json) {
    DeviceState states[2];
    int status = load(a, &states[0]);
    if (status == kExitOk && !b.empty()) {
        status = load(b, &states[1]);
    }
    JsonValue document;
    if (status == kExitOk && b.empty()) {
        status = readDevice(&states[1], &document);
    }
    if (status != kExitOk) {
        return status;
    }
    JsonValue list = JsonValue::array();
    const std::vector<StateSetting>& from = states[0].settings;
    const std::vector<StateSetting>& to = states[1].settings;
    for (size_t i = 0; i < from.size(); ++i) {
        if (from[i].text == to[i].text) {
            continue;
        }
        JsonValue& entry = list.append(JsonValue::object());
        entry.set("setting", JsonValue::string(from[i].name));
        entry.set("a", jsonOf(from[i]));
        entry.set("b", jsonOf(to[i]));
        if (!json) {
            std::fprintf(mOut, "%s: %s -> %s\n", from[i].name.c_str(), from[i].text.c_str(),
                         to[i].text.c_str());
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (states[0].blobs[i] == states[1].blobs[i]) {
            continue;
        }
        const std::string name = std::string("mpbin ") + kBlobNames[i];
        JsonValue& entry = list.append(JsonValue::object());
        entry.set("setting", JsonValue::string(name));
        entry.set("bytes",
                  JsonValue::string(blobDifference(states[0].blobs[i], states[1].blobs[i])));
        if (!json) {
            std::fprintf(mOut, "%s: %s\n", name.c_str(),
                         blobDifference(states[0].blobs[i], states[1].blobs[i]).c_str());
        }
    }
    const bool equal = list.size() == 0;
    if (json) {
        JsonValue head = JsonValue::object();
        head.set("equal", JsonValue::boolean(equal));
        head.set("a", JsonValue::string(a));
        head.set("b", JsonValue::string(b.empty() ? "the device" : b));
        head.set("differences", std::move(list));
        std::fprintf(mOut, "%s\n", head.write().c_str());
    }
    return equal ? kExitOk : kExitFail;
}
