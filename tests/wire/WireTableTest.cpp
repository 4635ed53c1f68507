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
// every line it logs. Escapes: \n \r \t \0 \\ \xHH, and \p, which waits until
// the server has read what was sent before it. Macros, which nest: {N*TEXT}
// is TEXT N times; {seq N} is N blob bytes of a fixed pattern, in a request
// as two-digit hex fields joined by ':' ({SEQ N} in capitals), in a reply as
// the bytes themselves.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "PtyServer.h"

namespace {

// Follows each row: its "[ok]" ends the row's reply, its log lines its log.
const std::string kSentinel = "dsp status ~\n";
const std::string kSentinelReply("[ok]\0", 5);

// Names defined by "@let NAME TEXT" lines, used as {$NAME}.
using Lets = std::map<std::string, std::string>;

std::string expandMacros(const std::string& text, bool request, const Lets& lets) {
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
        unsigned count = 0;
        char star = 0;
        int used = 0;
        if (body[0] == '$') {
            const auto let = lets.find(body.substr(1));
            if (let == lets.end()) ADD_FAILURE() << "no @let for " << body;
            out += let == lets.end() ? "" : expandMacros(let->second, request, lets);
        } else if (std::sscanf(body.c_str(), "%u%c%n", &count, &star, &used) == 2 && star == '*') {
            const std::string once =
                expandMacros(body.substr(static_cast<size_t>(used)), request, lets);
            for (unsigned n = 0; n < count; ++n) out += once;
        } else if (std::sscanf(body.c_str(), "seq %u", &count) == 1 ||
                   std::sscanf(body.c_str(), "SEQ %u", &count) == 1) {
            for (unsigned n = 0; n < count; ++n) {
                const unsigned byte = (n * 37 + 11) & 0xFF;
                char field[4];
                std::snprintf(field, sizeof field, body[0] == 's' ? "%02x" : "%02X", byte);
                // A backslash byte is escaped: escapes are decoded after macros.
                out += request        ? (n == 0 ? "" : ":") + std::string(field)
                       : byte == '\\' ? std::string("\\\\")
                                      : std::string(1, static_cast<char>(byte));
            }
        } else {
            out += "{" + expandMacros(body, request, lets) + "}";
        }
        i = close;
    }
    return out;
}

// Escapes decoded; a \p becomes `pause` (a NUL escape and a pause never meet
// in one part, since the parts are split at the pauses first).
std::vector<std::string> decode(const std::string& text, bool request, const Lets& lets) {
    std::vector<std::string> parts(1);
    const std::string expanded = expandMacros(text, request, lets);
    for (size_t i = 0; i < expanded.size(); ++i) {
        if (expanded[i] != '\\' || i + 1 == expanded.size()) {
            parts.back() += expanded[i];
            continue;
        }
        const char c = expanded[++i];
        if (c == 'p') {
            parts.emplace_back();
        } else if (c == 'x' && i + 2 < expanded.size()) {
            parts.back() += static_cast<char>(std::stoi(expanded.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            parts.back() += c == 'n'   ? '\n'
                            : c == 'r' ? '\r'
                            : c == 't' ? '\t'
                            : c == '0' ? '\0'
                                       : c;
        }
    }
    return parts;
}

std::string visible(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, static_cast<char>(c)) : hex;
    }
    return out;
}

// The log lines in `text` as "LEVEL: message"; INF lines only when `all`.
std::vector<std::string> logLines(const std::string& text, bool all) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\n<", start);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(start, end - start);
        const size_t level = line.find("] ");
        if (level != std::string::npos && (all || line.compare(0, 3, "<1>") != 0)) {
            lines.push_back(line.substr(level + 2, line.size() - level - 3));
        }
        start = end;
    }
    return lines;
}

class WireTableTest : public ::testing::TestWithParam<const char*> {
protected:
    // Runs one row; false when the stream can no longer be trusted.
    bool runRow(const std::string& where, const std::string& row) {
        const size_t arrow = row.find(" =>");
        if (arrow == std::string::npos) {
            ADD_FAILURE() << where << ": no \" =>\" in the row";
            return true;
        }
        // " REPLY ! LOG ! LOG", where REPLY may be empty; a macro may make logs.
        const std::string rest = expandMacros(row.substr(arrow + 3), false, mLets);
        const size_t firstLog = rest.find(" ! ");
        std::vector<std::string> expectedLog;
        for (size_t at = firstLog; at != std::string::npos;) {
            const size_t next = rest.find(" ! ", at + 3);
            expectedLog.push_back(decode(rest.substr(at + 3, next - at - 3), false, mLets)[0]);
            at = next;
        }
        const std::string reply =
            rest.empty() || firstLog == 0
                ? std::string()
                : rest.substr(1, firstLog == std::string::npos ? std::string::npos : firstLog - 1);
        const std::string expected = decode(reply, false, mLets)[0];
        const std::vector<std::string> parts = decode(row.substr(0, arrow), true, mLets);
        for (size_t i = 0; i < parts.size(); ++i) {
            if (!mServer->send(parts[i]) || (i + 1 < parts.size() && !mServer->waitDrained())) {
                ADD_FAILURE() << where << ": cannot send";
                return false;
            }
        }
        mServer->send(kSentinel);
        const std::string got = mServer->read(expected.size() + kSentinelReply.size());
        const bool inStep = got.size() == expected.size() + kSentinelReply.size() &&
                            got.compare(expected.size(), std::string::npos, kSentinelReply) == 0;
        const std::string want = expected + kSentinelReply;
        if (got != want) {
            size_t at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
            const size_t from = at > 40 ? at - 40 : 0;
            ADD_FAILURE() << where << ": the reply differs from byte " << at << " of "
                          << want.size() << " (" << got.size() << " came)\n  expected ..."
                          << visible(want.substr(from, 120)) << "\n  received ..."
                          << visible(got.substr(from, 120));
        }
        if (!inStep) {
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
        const std::string log = mServer->err();
        bool all = false;
        for (const std::string& line : expectedLog) all = all || line.compare(0, 5, "INF: ") == 0;
        const size_t rowEnd = log.rfind("\n<", sentinel) + 1;
        EXPECT_EQ(expectedLog, logLines(log.substr(mMark, rowEnd - mMark), all)) << where;
        mMark = log.find('\n', replyLog) + 1;
        return true;
    }

    void startServer(const std::string& where, const std::string& line) {
        mServer.reset();  // stops the one before, which must exit with 0
        PtyServer::Options options;
        size_t at = line.find(' ');
        while (at != std::string::npos) {
            const size_t next = line.find(' ', at + 1);
            const std::string entry = line.substr(at + 1, next - at - 1);
            const size_t eq = entry.find('=');
            if (eq != std::string::npos) options.env[entry.substr(0, eq)] = entry.substr(eq + 1);
            at = next;
        }
        mServer.reset(new PtyServer(options));
        ASSERT_TRUE(mServer->ok()) << where << "\n" << mServer->err();
        mMark = mServer->waitErr("port ready\n") + 11;
    }

    Lets mLets;
    std::unique_ptr<PtyServer> mServer;
    size_t mMark = 0;  // where the next row's log begins
};

TEST_P(WireTableTest, EveryRowAnswersAsWritten) {
    const std::string path = std::string(WIRE_TABLE_DIR) + "/" + GetParam() + ".wire";
    std::ifstream table(path);
    ASSERT_TRUE(table.is_open()) << path;
    std::string line;
    bool inStep = false;
    int rows = 0;
    int skipped = 0;
    for (int number = 1; std::getline(table, line); ++number) {
        const std::string where = std::string(GetParam()) + ".wire:" + std::to_string(number);
        if (line.empty() || line[0] == '#') continue;
        if (line.compare(0, 5, "@let ") == 0) {
            const size_t space = line.find(' ', 5);
            mLets[line.substr(5, space - 5)] =
                space == std::string::npos ? "" : line.substr(space + 1);
        } else if (line.compare(0, 7, "@server") == 0) {
            startServer(where, line);
            if (HasFatalFailure()) return;
            inStep = true;
        } else if (inStep) {
            inStep = runRow(where, line);
            ++rows;
        } else {
            ++skipped;
        }
    }
    EXPECT_GT(rows, 0) << path;
    EXPECT_EQ(0, skipped) << "rows not run: a row before them lost step with the server";
}

INSTANTIATE_TEST_SUITE_P(Tables, WireTableTest,
                         ::testing::Values("framing", "items", "handsfree", "mpbin"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

}  // namespace
