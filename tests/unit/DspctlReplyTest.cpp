// dspctl's reply reading: the reply kinds told apart from raw bytes, whole,
// a byte at a time and by the reader on a descriptor.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "ReplyParser.h"
#include "ReplyReader.h"

namespace {

using namespace std::string_literals;

// A frame as getmp sends it: the claimed length big-endian, then `size` bytes.
std::string frame(size_t size, uint32_t claimed) {
    return std::string{'\0', '\0', char(claimed >> 8), char(claimed)} + std::string(size, 'x');
}

TEST(DspctlReplyParserTest, TellsTheReplyKindsApart) {
    const std::string report = "dsp hfsync:A0101:opgain:0.000000:uplink:-1.500000:[ok]";
    const struct {
        std::string bytes;
        Reply::Kind kind;
        std::string problem;  // a part of Reply::problem, for kMalformed
        size_t used;          // bytes the parser takes; the rest belongs to no reply
    } cases[] = {
        {"", Reply::kNone, "", 0},
        {"[ok]\0"s, Reply::kOk, "", 5},
        {"[fail]\0"s, Reply::kFail, "", 7},
        {report + "[ok]\0"s, Reply::kReport, "", report.size()},
        {"dsp sync:A0101[ok]", Reply::kTruncated, "", 18},
        {"dsp sync:" + std::string(8181, '1'), Reply::kTruncated, "", 8190},
        {"dsp sync:" + std::string(8182, '1'), Reply::kMalformed, "longer than 8190", 8191},
        {frame(2560, 2560) + "[ok]\0"s, Reply::kFrame, "", 2569},
        {frame(0, 0) + "[ok]\0"s, Reply::kFrame, "", 9},
        {"[ok]", Reply::kMalformed, "\"[ok]\" ended without its NUL", 4},
        {"[maybe]\0"s, Reply::kMalformed, "\"[maybe]\" is neither [ok] nor [fail]", 8},
        {"[failed]"s, Reply::kMalformed, "\"[failed]...\" is neither", 8},
        {"ok\0"s, Reply::kMalformed, "unexpected byte 0x6F where a reply begins", 1},
        {"dsp sync:1\0:[ok]"s, Reply::kMalformed, "NUL byte inside a report", 11},
        {frame(0, 2561), Reply::kMalformed, "claims 2561 bytes, more than the 2560", 4},
        {frame(200, 296), Reply::kMalformed, "claims 296 bytes, 200 received", 204},
        {frame(296, 200) + "[ok]\0"s, Reply::kMalformed, "claims 200 bytes, but more", 205},
        {frame(296, 296) + "[fail]\0"s, Reply::kMalformed, "296 bytes followed by \"[fail]\"", 307},
        {frame(296, 296), Reply::kMalformed, "frame of 296 bytes not followed by [ok]", 300},
        {"\0\0\x01"s, Reply::kMalformed, "inside its length header (3 of 4 bytes)", 3},
    };
    for (const auto& c : cases) {
        for (size_t piece : {c.bytes.size() + 1, size_t{1}}) {
            ReplyParser parser;
            size_t used = 0;
            for (size_t at = 0; at < c.bytes.size() && used == at; at += piece) {
                used += parser.feed(c.bytes.data() + at, std::min(piece, c.bytes.size() - at));
            }
            const Reply r = parser.finish();
            const std::string name =
                c.bytes.substr(0, 20) + " in pieces of " + std::to_string(piece);
            EXPECT_EQ(c.kind, r.kind) << name;
            EXPECT_EQ(c.used, used) << name;
            EXPECT_EQ(c.bytes.substr(0, c.used), r.raw) << name;
            EXPECT_NE(std::string::npos, r.problem.find(c.problem)) << name << r.problem;
            // A report is all of its reply; a blob, what follows the frame's header.
            const bool report = c.kind == Reply::kReport || c.kind == Reply::kTruncated;
            if (report || c.kind == Reply::kFrame) {
                EXPECT_EQ(report ? r.raw : c.bytes.substr(4, c.used - 9),
                          report ? r.report : r.blob)
                    << name;
            }
        }
        // The reader takes the same reply from a descriptor. What came with it
        // but after it is no reply of this command; what comes later is
        // drained before the next one.
        int fds[2];
        ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
        ASSERT_EQ(static_cast<ssize_t>(c.bytes.size()),
                  write(fds[1], c.bytes.data(), c.bytes.size()));
        ReplyReader reader(fds[0], 20, 10);
        Reply reply;
        std::string stale = "x";
        EXPECT_EQ(0, reader.read(&reply));
        EXPECT_EQ(c.kind, reply.kind) << c.bytes.substr(0, 20);
        EXPECT_EQ(c.bytes.substr(0, c.used), reply.raw);
        EXPECT_EQ(0, reader.drain(&stale));
        EXPECT_EQ("", stale);
        EXPECT_EQ(5, write(fds[1], "[ok]\0", 5));
        EXPECT_EQ(0, reader.drain(&stale));
        EXPECT_EQ("[ok]\0"s, stale);
        // A writer that goes before its reply ends: an I/O error.
        EXPECT_EQ(2, write(fds[1], "[o", 2));
        close(fds[1]);
        EXPECT_EQ(EIO, reader.read(&reply));
        EXPECT_EQ("[o", reply.raw);
        close(fds[0]);
    }
}

}  // namespace
