// The command table against the real dspd: every example it gives is taken,
// and every line it refuses fails there with the check it names. Then its
// verdicts on edge values, and the runner's --strict and raw lines.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "CommandRunner.h"
#include "CommandTable.h"
#include "DspHarness.h"
#include "PseudoTerminal.h"
#include "PtyServer.h"
#include "SerialPort.h"

namespace {

std::vector<std::string> split(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string join(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
    return line;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// "*" stands for any text.
bool matches(const std::string& text, const std::string& pattern) {
    std::string escaped;
    for (char c : pattern)
        escaped += (std::strchr("?[\\", c) != nullptr ? "\\" : "") + std::string(1, c);
    return fnmatch(escaped.c_str(), text.c_str(), 0) == 0;
}

// The reply to `line`, read up to the "[ok]" of a status line sent after it.
std::string ask(PtyServer& server, const std::string& line) {
    std::string got;
    if (!server.send(line + "\ndsp status\n")) return got;
    for (;;) {
        const std::string more = server.read(1);
        if (more.empty()) return got;
        got += more;
        const std::string head = got.substr(0, got.size() - std::min(got.size(), kOkReply.size()));
        if (endsWith(got, kOkReply) &&
            (endsWith(head, kOkReply) || endsWith(head, ":[ok]") || endsWith(head, kFailReply))) {
            return head;
        }
    }
}

// `count` times `field`, `between` each two: MP.bin fields by default.
std::string fields(int count, const std::string& field = "5a", char between = ':') {
    std::string text = field;
    for (int i = 1; i < count; ++i) text += between + field;
    return text;
}

TEST(CommandTableTest, EveryExampleIsTakenByTheTableAndTheServer) {
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    for (const std::vector<std::string>& words : commandExamples()) {
        const std::string line = join(words);
        const CommandCheck check = checkCommand(words);
        EXPECT_EQ(CommandCheck::kAccepted, check.verdict) << line.substr(0, 80) << check.message;
        const std::string reply = ask(server, "dsp " + line);
        EXPECT_TRUE(endsWith(reply, kOkReply) || endsWith(reply, ":[ok]")) << line.substr(0, 80);
    }
}

// Lines the server fails: the table refuses each, and names as the likely
// reason the check the server's own log names.
TEST(CommandTableTest, RefusesWhatTheServerFailsWithTheCheckItHits) {
    const struct {
        std::string line;
        const char* logged;  // the server's ERR line
        const char* reason;  // likelyFailReason, "*" for any text
    } rows[] = {
        {"vol", "bad argc number", "vol takes 1 word after the item, not 0: vol VOLUME"},
        {"cvol 4294967297 1", "bad argc number", "channel 4294967297 is out of range 0 to 5"},
        {"eq foo 9 1 -1", "bad argc number", "channel -1 is out of range 0 to 5"},
        {"eq foo 8 1 0", "not support band(8)", "band 8 is out of range 0 to 7"},
        {"eq Gain 7 1 0", "not support function(Gain)", "unknown keyword \"Gain\" (gain|cf|q): *"},
        {"bteq cf 2 1 0", "not support band(2)", "band 2 is out of range 0 to 1"},
        {"bq channel 1 2", "bad argc number", "bq takes 142 words after the item, not 3: *"},
        {"bq cf 20 1 0", "not support band(20)", "band 20 is out of range 0 to 19"},
        {"ftr 0 1 2 3 4 5", "bad argc number", "ftr takes 7 words after the item, not 6: *"},
        {"hfaec foo", "bad argc number", "hfaec takes 3 or 4 words after the item, not 1: *"},
        {"hfaec foo 1 2", "bad hfaec foo param", "unknown keyword \"foo\" (adc|nr|*"},
        {"hfaec nr x 1", "bad nr x param", "unknown keyword \"x\" (nrAttenIdx): *"},
        {"hfaec adc MicPgaGain 2 1", "channel(2) is not supported.", "channel 2 *0 to 1"},
        {"hfaec adc MicGain 1 1", "bad adc MicGain param", "unknown keyword \"MicGain\" *"},
        {"hfaec nlp cnExecIdx", "bad argc number", "hfaec takes 3 words after the item, not 2: *"},
        {"hfaec seq en 1 2", "bad argc number", "hfaec takes 3 words *: hfaec seq en N"},
        {"hfaec req foo 8 1", "not support band(8)", "band 8 is out of range 0 to 7"},
        {"hfaec req foo 7 1", "bad seq foo param", "unknown keyword \"foo\" (cf|gain|q): *"},
        {"sig 2", "bad parameter", "sig takes 0|1, not 2"},
        {"spk -1", "bad parameter", "spk takes 0|1|2, not -1"},
        {"mpbin 0 00", "bad data size", "size 0 is out of range 1 to 2560"},
        {"mpbin 295 " + fields(296), "offset error", "DATA holds more fields than SIZE 295"},
        {"mpbin 296 5a:" + fields(295, "100"), "bad field(1)", "DATA field 1 \"100\" is *"},
        {"mpbin 300 " + fields(297), "error data len(297)", "DATA holds 297 fields; *"},
        {"status " + fields(257, "x", ' '), "bad argc number", "more than 256 words *"},
    };
    PtyServer server;
    ASSERT_TRUE(server.ok()) << server.err();
    for (const auto& row : rows) {
        const std::string line = row.line;
        const std::vector<std::string> words = split(line);
        const size_t from = server.err().size();
        EXPECT_EQ(kFailReply, ask(server, "dsp " + line)) << row.line.substr(0, 60);
        EXPECT_NE(std::string::npos, server.waitErr("ERR: " + std::string(row.logged) + "\n", from))
            << row.line.substr(0, 60);
        EXPECT_EQ(CommandCheck::kRefused, checkCommand(words).verdict) << row.line.substr(0, 60);
        EXPECT_TRUE(matches(likelyFailReason(words), row.reason))
            << row.line.substr(0, 60) << ": " << likelyFailReason(words);
    }
}

// What the server does with values at and past the ends of each kind of word.
TEST(CommandTableTest, EdgeValuesAreTakenWarnedOfOrRefused) {
    const CommandCheck::Verdict ok = CommandCheck::kAccepted, warn = CommandCheck::kWarning,
                                no = CommandCheck::kRefused;
    const struct {
        std::string line;
        CommandCheck::Verdict verdict;
        const char* message;
    } rows[] = {
        {"vol 255", ok, ""},
        {"vol 256", warn, "volume 256 is outside 0 to 255: the device sets 0"},
        {"vol -1", warn, "volume -1 is outside 0 to 255: the device sets 0"},
        {"vol 5x", warn, "volume \"5x\" is read as 5"},
        {"cvol x 300", warn, "channel \"x\" is read as 0; gain 300 is outside 0 to 255: *44"},
        {"cvol 5 -1", warn, "gain -1 is outside 0 to 255: the device stores 255"},
        {"cvol 6 0", no, "channel 6 is out of range 0 to 5"},
        {"ftr 0 65535 0 0 0 -32768 0", ok, ""},
        {"ftr 0 65536 0 0 0 32768 0", warn, "V1 65536 *stores 0; V5 32768 *stores -32768"},
        {"eq q 7 70000 0", warn, "q 70000 is outside 0 to 65535: the device stores 4464"},
        {"eq gain 7 0.1 0", ok, ""},
        {"eq gain 7 -0x1p100 0", ok, ""},
        {"eq gain 7 16777217 0", warn,
         "*single precision keeps: the device stores 16777216.000000"},
        {"eq gain 7 -1e39 0", warn,
         "gain -1e39 is beyond single precision: the device stores -inf"},
        {"eq gain 7 2.5dB 0", warn, "gain \"2.5dB\" is read as 2.500000"},
        {"bq phase 19 -2147483648 5", ok, ""},
        {"bq phase 19 2147483648 5", warn, "*beyond 32 bits: the device stores 2147483647"},
        {"bq channel 0 " + fields(139, "0", ' '), no, "bq takes 142 words *, not 141: *"},
        {"hfaec seq en 2", warn, "N 2 is neither 0 nor 1: the device stores 1"},
        {"mpbin 300 " + fields(296), warn, "SIZE 300 is not the 296 fields*stores 296 bytes"},
        {"mpbin 296 " + fields(295) + ":G1", warn, "DATA field 295 \"G1\" is read as 00"},
        {"status 1 two", ok, ""},
        {"sync --raw", ok, ""},
        {"sync --raw --json", no,
         "sync takes [--json|--raw]: \"--raw\" and --json exclude each other"},
        {"getmp --ext --ext", no, "getmp takes [--ext|ext] [-o FILE]: --ext given twice"},
        {"getmp extra -o f", ok, ""},
        {"getmp -o", no, "-o needs FILE: getmp [--ext|ext] [-o FILE]"},
        {"restore", no, "restore needs FILE: restore FILE [--dry-run]"},
        {"help vol", ok, ""},
        {"Vol 1", no, "no item \"Vol\" *"},
    };
    for (const auto& row : rows) {
        const CommandCheck check = checkCommand(split(row.line));
        EXPECT_TRUE(check.verdict == row.verdict && matches(check.message, row.message))
            << row.line.substr(0, 60) << ": " << check.verdict << " " << check.message;
    }
}

TEST(CommandTableTest, CompletesItemsKeywordsAndOptions) {
    const struct {
        std::string words;
        std::string next;
    } rows[] = {
        {"eq", "gain cf q"},
        {"eq gain", ""},
        {"bq", "channel type cf gain q method slope phase"},
        {"hfaec seq", "en cf gain q"},
        {"hfaec adc", "MicOpGain MicPgaGain"},
        {"sync", "--json --raw"},
        {"sync --json", ""},
        {"getmp --ext", "-o"},
        {"getmp -o", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.next, join(commandCompletions(split(row.words)))) << row.words;
    }
    const std::string items = join(commandCompletions({}));
    EXPECT_TRUE(matches(items, "status sync vol cvol * getmp store restore diff help")) << items;
    EXPECT_EQ(items, join(commandCompletions({"help"})));
}

// The runner on a terminal of the test's own: what reaches the line, with
// --strict and with raw lines. Nobody answers, so a sent line ends in 2. A
// line sent by a refused row would come before the next row's.
TEST(CommandTableTest, RunnerChecksUnlessRawAndRefusesWarningsWhenStrict) {
    const struct {
        bool strict;
        bool raw;
        std::string words;
        int status;
        std::string sent;
        const char* err;
    } rows[] = {
        {false, false, "vol 300", 2, "dsp vol 300\n",
         "dspctl: warning: volume 300 *\ndspctl: no reply*"},
        {true, false, "vol 300", 64, "",
         "dspctl: volume 300 *; refused (--strict), nothing sent\n"},
        {true, false, "vol 40", 2, "dsp vol 40\n", "dspctl: no reply*"},
        {false, true, "vol 300", 2, "dsp vol 300\n", "dspctl: no reply*"},
        {false, true, "foo 1", 2, "dsp foo 1\n", "dspctl: no reply*"},
        {false, false, "foo 1", 64, "", "dspctl: no item \"foo\" *; nothing sent\n"},
        {true, false, "dsp foo 1", 2, "dsp foo 1\n", "dspctl: no reply*"},
    };
    PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    SerialPort port;
    port.attach(pty.slave());
    for (const auto& row : rows) {
        char* text = nullptr;
        size_t size = 0;
        FILE* err = open_memstream(&text, &size);
        ASSERT_NE(nullptr, err);
        CommandRunner runner(port, 1, 1, stdout, err);
        runner.setStrict(row.strict);
        runner.setRawLines(row.raw);
        const int status = runner.run(split(row.words));
        std::fclose(err);
        const std::string message(text, size);
        std::free(text);
        const std::string sent = readFor(pty.master(), row.sent.size());
        EXPECT_TRUE(status == row.status && sent == row.sent && matches(message, row.err))
            << row.words << ": " << status << " " << sent << message;
    }
}

}  // namespace
