// Wire tables: request lines and the exact bytes the real dspd answers, read
// from the *.wire files beside this driver and run through the server on a
// pseudo-terminal, as a peer would. Every row that differs is reported.
//
// A table line is blank, a comment ("# ..."), a definition, a server line or
// a row:
//   @let NAME TEXT              TEXT is used as {$NAME} in later lines
//   @server [NAME=VALUE]...     a fresh server with these environment entries
//   REQUEST => REPLY [! LOG]...
// REQUEST is sent as written. REPLY is every byte that must come back before
// the next line is answered. Each LOG is a log line the row must write, as
// "LEVEL: message" without its line feed: all its WRN, ERR and BUG lines, in
// order (a row with none writes none); a row that names an INF line names
// every line it logs. Escapes: \n \r \t \0 \\ \xHH. Macros, which nest:
// {N*TEXT} is TEXT N times; {seq N} is N blob bytes of a fixed pattern, in a
// request as two-digit hex fields joined by ':' ({SEQ N} in capitals), in a
// reply as the bytes themselves.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "PtyServer.h"

namespace {

// Follows each row: its "[ok]" ends the row's reply, its log lines its log.
const std::string kSentinel = "dsp status ~\n";

class WireTableTest : public ::testing::TestWithParam<const char*> {
protected:
    // Macros expanded; a blob's bytes in a reply are escaped where they would
    // read as an escape, since escapes are decoded afterwards.
    std::string expand(const std::string& text, bool request) const {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            size_t close = i;
            for (int depth = 0; text[i] == '{' && close < text.size(); ++close) {
                depth += text[close] == '{' ? 1 : text[close] == '}' ? -1 : 0;
                if (depth == 0) break;
            }
            if (text[i] != '{' || close == text.size()) {
                out += text[i];
                continue;
            }
            const std::string body = text.substr(i + 1, close - i - 1);
            unsigned n = 0;
            char star = 0;
            int used = 0;
            const bool seq = body.compare(0, 4, "seq ") == 0 || body.compare(0, 4, "SEQ ") == 0;
            if (body[0] == '$') {
                const auto let = mLets.find(body.substr(1));
                if (let == mLets.end()) ADD_FAILURE() << "no @let for " << body;
                out += let == mLets.end() ? "" : expand(let->second, request);
            } else if (std::sscanf(body.c_str(), "%u%c%n", &n, &star, &used) == 2 && star == '*') {
                const std::string once = expand(body.substr(static_cast<size_t>(used)), request);
                while (n-- > 0) out += once;
            } else if (seq && std::sscanf(body.c_str() + 4, "%u", &n) == 1) {
                for (unsigned k = 0; k < n; ++k) {
                    const unsigned byte = (k * 37 + 11) & 0xFF;
                    char field[4];
                    std::snprintf(field, sizeof field, body[0] == 's' ? "%02x" : "%02X", byte);
                    out += request        ? (k == 0 ? "" : ":") + std::string(field)
                           : byte == '\\' ? std::string("\\\\")
                                          : std::string(1, static_cast<char>(byte));
                }
            } else {
                out += "{" + expand(body, request) + "}";
            }
            i = close;
        }
        return out;
    }

    // Macros expanded, then escapes decoded.
    std::string decode(const std::string& text, bool request) const {
        std::string out;
        const std::string in = expand(text, request);
        for (size_t i = 0; i < in.size(); ++i) {
            const char c = in[i] == '\\' && i + 1 < in.size() ? in[++i] : 0;
            if (c == 'x' && i + 2 < in.size()) {
                out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                const size_t named = std::string("nrt0").find(c);
                out += c == 0 ? in[i] : named != std::string::npos ? "\n\r\t\0"[named] : c;
            }
        }
        return out;
    }

    // Runs one row; false when the stream can no longer be trusted.
    bool runRow(const std::string& where, const std::string& row) {
        const size_t arrow = row.find(" =>");
        if (arrow == std::string::npos) {
            ADD_FAILURE() << where << ": no \" =>\" in the row";
            return true;
        }
        // " REPLY ! LOG ! LOG", where REPLY may be empty; a macro may make logs.
        const std::string rest = expand(row.substr(arrow + 3), false) + " ! ";
        std::vector<std::string> wantLog;
        bool all = false;  // a row that names an INF line names all its lines
        for (size_t at = rest.find(" ! "); at + 3 < rest.size(); at = rest.find(" ! ", at + 3)) {
            const size_t next = rest.find(" ! ", at + 3);
            wantLog.push_back(decode(rest.substr(at + 3, next - at - 3), false));
            all = all || wantLog.back().compare(0, 5, "INF: ") == 0;
        }
        const size_t end = rest.find(" ! ");
        const std::string want = decode(end == 0 ? "" : rest.substr(1, end - 1), false) + kOkReply;
        if (!mServer->send(decode(row.substr(0, arrow), true) + kSentinel)) {
            ADD_FAILURE() << where << ": cannot send";
            return false;
        }
        const std::string got = mServer->read(want.size());
        if (got != want) {
            size_t at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
            const size_t from = at > 40 ? at - 40 : 0;
            ADD_FAILURE() << where << ": the reply differs from byte " << at << " of "
                          << want.size() << " (" << got.size() << " came)\n  expected ..."
                          << testing::PrintToString(want.substr(from, 120)) << "\n  received ..."
                          << testing::PrintToString(got.substr(from, 120));
        }
        if (got.size() != want.size() || got.compare(got.size() - 5, 5, kOkReply) != 0) {
            mServer->readQuiet();
            return false;
        }
        // The row's log ends where the sentinel's begins; the sentinel's ends
        // with the log line of its reply.
        const size_t sentinel = mServer->waitErr("] INF: " + kSentinel + "\n", mMark);
        const size_t replyLog = mServer->waitErr("] INF: [ok]\n", sentinel);
        if (sentinel == std::string::npos || replyLog == std::string::npos) {
            ADD_FAILURE() << where << ": the sentinel's log lines never came";
            return false;
        }
        // The log from this row's start on (offsets below are relative to it).
        const std::string log = mServer->err(mMark);
        std::vector<std::string> gotLog;
        for (size_t at = 0, rowEnd = log.rfind("\n<", sentinel - mMark) + 1; at < rowEnd;) {
            const size_t next = log.find("\n<", at) + 1;  // where the next line begins
            const size_t level = log.find("] ", at) + 2;
            if (all || log.compare(at, 3, "<1>") != 0) {
                gotLog.push_back(log.substr(level, next - 1 - level));
            }
            at = next;
        }
        EXPECT_EQ(wantLog, gotLog) << where;
        mMark += log.find('\n', replyLog - mMark) + 1;
        return true;
    }

    std::map<std::string, std::string> mLets;  // "@let NAME TEXT": {$NAME}
    std::unique_ptr<PtyServer> mServer;
    size_t mMark = 0;  // where the next row's log begins
};

TEST_P(WireTableTest, EveryRowAnswersAsWritten) {
    const std::string path = std::string(WIRE_TABLE_DIR) + "/" + GetParam() + ".wire";
    std::ifstream table(path);
    ASSERT_TRUE(table.is_open()) << path;
    bool inStep = false;  // a row that lost step with the server has failed: skip to the next
    int rows = 0;
    std::string line;
    for (int number = 1; std::getline(table, line); ++number) {
        const std::string where = std::string(GetParam()) + ".wire:" + std::to_string(number);
        std::istringstream words(line);
        std::string word;
        words >> word;
        if (line.empty() || line[0] == '#') continue;
        if (word == "@let") {
            words >> word;
            mLets[word] = line.size() > 6 + word.size() ? line.substr(6 + word.size()) : "";
        } else if (word == "@server") {
            mServer.reset();  // stops the one before, which must exit with 0
            PtyServer::Options options;
            while (words >> word) {
                options.env[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
            }
            mServer.reset(new PtyServer(options));
            ASSERT_TRUE(mServer->ok()) << where << "\n" << mServer->err();
            mMark = mServer->waitErr("port ready\n") + 11;
            inStep = true;
        } else if (inStep) {
            inStep = runRow(where, line);
            ++rows;
        }
    }
    EXPECT_GT(rows, 0) << path;
}

// The tables by name: "Tables/WireTableTest.EveryRowAnswersAsWritten/items".
INSTANTIATE_TEST_SUITE_P(Tables, WireTableTest,
                         ::testing::Values("framing", "items", "handsfree", "mpbin"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
