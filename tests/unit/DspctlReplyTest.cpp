// dspctl's reply reading: the three reply kinds told apart from raw bytes,
// however the bytes are split, and the reader on a descriptor.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ReplyParser.h"
#include "ReplyReader.h"
#include "ToolProcess.h"

namespace {

using namespace std::string_literals;

// A frame as getmp sends it: the claimed length big-endian, then the blob.
std::string frame(const std::string& blob, uint32_t claimed) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) bytes += static_cast<char>(claimed >> shift);
    return bytes + blob;
}

struct ParseCase {
    const char* name;
    std::string bytes;
    Reply::Kind kind;
    std::string problem;  // a part of Reply::problem, for kMalformed
    size_t used;          // bytes the parser takes; the rest belongs to no reply
};

// Feeds the bytes whole, in two pieces at many cuts and in single bytes: the
// result must not depend on how the line delivered them.
void expectParse(const ParseCase& c) {
    std::vector<std::vector<std::string>> splits = {{c.bytes}, {}};
    for (char byte : c.bytes) splits[1].push_back(std::string(1, byte));
    for (size_t cut = 1; cut < c.bytes.size(); cut += 1 + c.bytes.size() / 40) {
        splits.push_back({c.bytes.substr(0, cut), c.bytes.substr(cut)});
    }
    for (const auto& pieces : splits) {
        ReplyParser parser;
        size_t used = 0;
        for (const std::string& piece : pieces) {
            const size_t took = parser.feed(piece.data(), piece.size());
            used += took;
            if (took < piece.size()) break;
        }
        const Reply reply = parser.finish();
        EXPECT_EQ(c.kind, reply.kind) << c.name << " in " << pieces.size() << " pieces";
        EXPECT_EQ(c.used, used) << c.name;
        EXPECT_EQ(c.bytes.substr(0, c.used), reply.raw) << c.name;
        EXPECT_NE(std::string::npos, reply.problem.find(c.problem))
            << c.name << ": " << reply.problem;
        if (c.kind == Reply::kFrame) {
            EXPECT_EQ(c.bytes.substr(4, c.used - 9), reply.blob) << c.name;
        } else if (c.kind == Reply::kReport || c.kind == Reply::kTruncated) {
            EXPECT_EQ(c.bytes.substr(0, c.used), reply.report) << c.name;
        }
    }
}

TEST(DspctlReplyParserTest, TellsTheReplyKindsApart) {
    const std::string report = "dsp hfsync:A0101:opgain:0.000000:0.000000:uplink:-1.500000:[ok]";
    const std::string longest = "dsp sync:" + std::string(ReplyParser::kMaxReportLength, '1');
    const ParseCase cases[] = {
        {"nothing", "", Reply::kNone, "", 0},
        {"ok", "[ok]\0"s, Reply::kOk, "", 5},
        {"fail", "[fail]\0"s, Reply::kFail, "", 7},
        {"report and more", report + "[ok]\0"s, Reply::kReport, "", report.size()},
        {"cut report", report.substr(0, 40), Reply::kTruncated, "", 40},
        {"report whose end mark lacks its colon", "dsp sync:A0101[ok]", Reply::kTruncated, "", 18},
        {"report beyond the reply capacity", longest, Reply::kMalformed, "longer than 8190", 8191},
        {"extended frame", frame(blobOf(2560), 2560) + "[ok]\0"s, Reply::kFrame, "", 2569},
        {"empty frame", frame("", 0) + "[ok]\0"s, Reply::kFrame, "", 9},
        {"ok without its NUL", "[ok]", Reply::kMalformed, "without its NUL", 4},
        {"neither ok nor fail", "[maybe]\0"s, Reply::kMalformed, "neither", 8},
        {"unexpected first byte", "ok\0"s, Reply::kMalformed, "0x6F", 1},
        {"NUL inside a report", "dsp sync:1\0:[ok]"s, Reply::kMalformed, "NUL", 11},
        {"header beyond the largest blob", frame("", 2561), Reply::kMalformed, "2561 bytes", 4},
        {"fewer bytes than the header says", frame(blobOf(200), 296), Reply::kMalformed,
         "claims 296 bytes, 200 received", 204},
        {"more bytes than the header says", frame(blobOf(296), 200) + "[ok]\0"s, Reply::kMalformed,
         "more bytes follow", 205},
        {"frame followed by fail", frame(blobOf(296), 296) + "[fail]\0"s, Reply::kMalformed,
         "instead of [ok]", 307},
        {"frame without its reply", frame(blobOf(296), 296), Reply::kMalformed,
         "not followed by [ok]", 300},
        {"frame cut in its header", "\0\0\x01"s, Reply::kMalformed, "3 of 4", 3},
    };
    for (const ParseCase& c : cases) expectParse(c);
}

TEST(DspctlReplyReaderTest, ReadsOneReplyAndDrainsWhatCameAfterIt) {
    const struct {
        const char* name;
        std::string bytes;
        size_t taken;  // the bytes of the reply
        bool hangUp;   // the writer closes after the bytes
        int error;
        Reply::Kind kind;
    } cases[] = {
        {"two replies waiting", "[fail]\0[ok]\0"s, 7, false, 0, Reply::kFail},
        {"nothing within the timeout", "", 0, false, 0, Reply::kNone},
        {"a report that goes quiet", "dsp sync:A0101:vol:0:30", 23, false, 0, Reply::kTruncated},
        {"a closed line", "[o", 2, true, EIO, Reply::kMalformed},
    };
    for (const auto& c : cases) {
        int fds[2];
        ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
        ASSERT_EQ(static_cast<ssize_t>(c.bytes.size()),
                  write(fds[1], c.bytes.data(), c.bytes.size()));
        if (c.hangUp) close(fds[1]);
        ReplyReader reader(fds[0], 100, 50);
        Reply reply;
        EXPECT_EQ(c.error, reader.read(&reply)) << c.name;
        EXPECT_EQ(c.kind, reply.kind) << c.name;
        EXPECT_EQ(c.bytes.substr(0, c.taken), reply.raw) << c.name;
        // What came with the reply but after it is no reply of this command;
        // what comes later is drained before the next one.
        std::string stale = "x";
        EXPECT_EQ(0, reader.drain(&stale)) << c.name;
        EXPECT_EQ("", stale) << c.name;
        if (!c.hangUp) {
            ASSERT_EQ(5, write(fds[1], "[ok]\0", 5));
            EXPECT_EQ(0, reader.drain(&stale));
            EXPECT_EQ("[ok]\0"s, stale) << c.name;
            close(fds[1]);
        }
        close(fds[0]);
    }
}

}  // namespace
