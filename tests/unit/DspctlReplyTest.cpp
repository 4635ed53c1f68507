// dspctl's reply reading: the three reply kinds told apart from raw bytes,
// however the bytes are split, and the reader's deadlines on a descriptor.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "ReplyParser.h"
#include "ReplyReader.h"

namespace {

using namespace std::string_literals;

// A frame as getmp sends it: length big-endian, blob, then "[ok]" and NUL.
std::string frame(const std::string& blob, uint32_t claimed) {
    std::string bytes;
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes += static_cast<char>((claimed >> shift) & 0xFF);
    }
    return bytes + blob;
}

std::string pattern(size_t n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) bytes += static_cast<char>((i * 7 + 3) & 0xFF);
    return bytes;
}

struct ParseCase {
    const char* name;
    std::string bytes;
    Reply::Kind kind;
    std::string problem;  // a part of Reply::problem, for kMalformed
    size_t used;          // bytes the parser takes; the rest belongs to no reply
};

// Feeds the bytes in every split into two pieces and in single bytes: the
// result must not depend on how the line delivered them.
void expectParse(const ParseCase& c) {
    std::vector<std::vector<std::string>> splits = {{c.bytes}};
    for (size_t cut = 1; cut < c.bytes.size(); cut += 1 + c.bytes.size() / 40) {
        splits.push_back({c.bytes.substr(0, cut), c.bytes.substr(cut)});
    }
    std::vector<std::string> single;
    for (char byte : c.bytes) single.push_back(std::string(1, byte));
    splits.push_back(single);
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
        if (!c.problem.empty()) {
            EXPECT_NE(std::string::npos, reply.problem.find(c.problem))
                << c.name << ": " << reply.problem;
        }
    }
}

TEST(DspctlReplyParserTest, TellsTheReplyKindsApart) {
    const std::string report = "dsp hfsync:A0101:opgain:0.000000:0.000000:uplink:-1.500000:[ok]";
    const ParseCase cases[] = {
        {"nothing", "", Reply::kNone, "", 0},
        {"ok", "[ok]\0"s, Reply::kOk, "", 5},
        {"fail", "[fail]\0"s, Reply::kFail, "", 7},
        {"ok, then a stray byte", "[ok]\0x"s, Reply::kOk, "", 5},
        {"report", report, Reply::kReport, "", report.size()},
        {"report and more", report + "[ok]\0"s, Reply::kReport, "", report.size()},
        {"cut report", report.substr(0, 40), Reply::kTruncated, "", 40},
        {"report whose end mark lacks its colon", "dsp sync:A0101[ok]", Reply::kTruncated, "", 18},
        {"standard frame", frame(pattern(296), 296) + "[ok]\0"s, Reply::kFrame, "", 305},
        {"extended frame", frame(pattern(2560), 2560) + "[ok]\0"s, Reply::kFrame, "", 2569},
        {"empty frame", frame("", 0) + "[ok]\0"s, Reply::kFrame, "", 9},
        {"ok without its NUL", "[ok]", Reply::kMalformed, "without its NUL", 4},
        {"neither ok nor fail", "[maybe]\0"s, Reply::kMalformed, "neither", 8},
        {"unexpected first byte", "ok\0"s, Reply::kMalformed, "0x6F", 1},
        {"NUL inside a report", "dsp sync:1\0:[ok]"s, Reply::kMalformed, "NUL", 11},
        {"header beyond the largest blob", frame("", 2561), Reply::kMalformed, "2561 bytes", 4},
        {"header of a huge length", "\0\x01\0\0"s, Reply::kMalformed, "65536 bytes", 4},
        {"fewer bytes than the header says", frame(pattern(200), 296), Reply::kMalformed,
         "claims 296 bytes, 200 received", 204},
        {"more bytes than the header says", frame(pattern(296), 200) + "[ok]\0"s, Reply::kMalformed,
         "more bytes follow", 205},
        {"frame followed by fail", frame(pattern(296), 296) + "[fail]\0"s, Reply::kMalformed,
         "instead of [ok]", 307},
        {"frame without its reply", frame(pattern(296), 296), Reply::kMalformed,
         "not followed by [ok]", 300},
        {"frame cut in its header", "\0\0\x01"s, Reply::kMalformed, "3 of 4", 3},
    };
    for (const ParseCase& c : cases) expectParse(c);
}

TEST(DspctlReplyParserTest, KeepsTheReportAndBlobBytes) {
    ReplyParser parser;
    const std::string blob = pattern(296);
    const std::string bytes = frame(blob, 296) + "[ok]\0"s;
    parser.feed(bytes.data(), bytes.size());
    ASSERT_TRUE(parser.done());
    EXPECT_EQ(blob, parser.finish().blob);

    ReplyParser cut;
    cut.feed("dsp sync:A0101:vol:0:4", 22);
    EXPECT_FALSE(cut.done());
    const Reply reply = cut.finish();
    EXPECT_EQ(Reply::kTruncated, reply.kind);
    EXPECT_EQ("dsp sync:A0101:vol:0:4", reply.report);
}

TEST(DspctlReplyParserTest, AReportLongerThanAnyReplyIsMalformed) {
    std::string line = "dsp sync:" + std::string(ReplyParser::kMaxReportLength, '1');
    ReplyParser parser;
    parser.feed(line.data(), line.size());
    EXPECT_TRUE(parser.done());
    EXPECT_EQ(Reply::kMalformed, parser.finish().kind);
}

class Pipe {
public:
    Pipe() { ok = pipe2(fds, O_CLOEXEC) == 0; }
    ~Pipe() {
        closeWriter();
        if (ok) close(fds[0]);
    }
    void write(const std::string& bytes) {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::write(fds[1], bytes.data(), bytes.size()));
    }
    void closeWriter() {
        if (ok && fds[1] >= 0) close(fds[1]);
        fds[1] = -1;
    }
    int reader() const { return fds[0]; }
    bool ok = false;
    int fds[2] = {-1, -1};
};

TEST(DspctlReplyReaderTest, ReadsWhatIsWaitingAndStopsAtTheEndOfTheReply) {
    Pipe pipe;
    ASSERT_TRUE(pipe.ok);
    pipe.write("[fail]\0[ok]\0"s);
    ReplyReader reader(pipe.reader(), 2000, 200);
    Reply reply;
    ASSERT_EQ(0, reader.read(&reply));
    EXPECT_EQ(Reply::kFail, reply.kind);
    // What came with the reply but after it is no reply of this command.
    std::string stale;
    ASSERT_EQ(0, reader.drain(&stale));
    EXPECT_EQ("", stale);

    pipe.write("[ok]\0"s);
    ASSERT_EQ(0, reader.drain(&stale));
    EXPECT_EQ("[ok]\0"s, stale);
}

TEST(DspctlReplyReaderTest, NothingWithinTheTimeoutIsNoReply) {
    Pipe pipe;
    ASSERT_TRUE(pipe.ok);
    ReplyReader reader(pipe.reader(), 50, 50);
    Reply reply;
    ASSERT_EQ(0, reader.read(&reply));
    EXPECT_EQ(Reply::kNone, reply.kind);
}

TEST(DspctlReplyReaderTest, AReportThatGoesQuietWithoutItsEndMarkIsTruncated) {
    Pipe pipe;
    ASSERT_TRUE(pipe.ok);
    pipe.write("dsp sync:A0101:vol:0:30");
    ReplyReader reader(pipe.reader(), 2000, 50);
    Reply reply;
    ASSERT_EQ(0, reader.read(&reply));
    EXPECT_EQ(Reply::kTruncated, reply.kind);
    EXPECT_EQ("dsp sync:A0101:vol:0:30", reply.report);
}

TEST(DspctlReplyReaderTest, AClosedLineIsAnError) {
    Pipe pipe;
    ASSERT_TRUE(pipe.ok);
    pipe.write("[o");
    pipe.closeWriter();
    ReplyReader reader(pipe.reader(), 2000, 2000);
    Reply reply;
    EXPECT_EQ(EIO, reader.read(&reply));
    EXPECT_EQ(Reply::kMalformed, reply.kind);
    EXPECT_EQ("[o", reply.raw);
}

}  // namespace
