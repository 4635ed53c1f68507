// dspctl's reading of what the server sends: the reply kinds told apart from
// raw bytes, the reader on a descriptor, and the report decoders on lines
// made by the real "sync" and "hfsync" items (negative and extreme values, the
// capacity cut at every position, lines that are no report). The plain
// replies, a frame longer than its header and the tables made of the reports
// come through the real binary end to end.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "JsonValue.h"
#include "ReplyParser.h"
#include "ReplyReader.h"
#include "ReportDecoder.h"

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
        size_t used;          // bytes the reply is made of; the rest belongs to no reply
    } cases[] = {
        {"", Reply::kNone, "", 0},
        {"[o", Reply::kMalformed, "reply \"[o\" ended without its NUL", 2},
        {report + "[ok]\0"s, Reply::kReport, "", report.size()},
        {"dsp sync:" + std::string(8181, '1'), Reply::kTruncated, "", 8190},
        {"dsp sync:" + std::string(8182, '1'), Reply::kMalformed, "longer than 8190", 8191},
        {frame(0, 0) + "[ok]\0"s, Reply::kFrame, "", 9},
        {"[maybe]\0"s, Reply::kMalformed, "\"[maybe]\" is neither [ok] nor [fail]", 8},
        {"[failed]"s, Reply::kMalformed, "\"[failed]...\" is neither", 8},
        {"ok\0"s, Reply::kMalformed, "unexpected byte 0x6F where a reply begins", 1},
        {"dsp sync:1\0:[ok]"s, Reply::kMalformed, "NUL byte inside a report", 11},
        {frame(0, 2561), Reply::kMalformed, "claims 2561 bytes, more than the 2560", 4},
        {frame(200, 296), Reply::kMalformed, "claims 296 bytes, 200 received", 204},
        {frame(296, 296) + "[fail]\0"s, Reply::kMalformed, "296 bytes followed by \"[fail]\"", 307},
        {frame(296, 296), Reply::kMalformed, "frame of 296 bytes not followed by [ok]", 300},
        {"\0\0\x01"s, Reply::kMalformed, "inside its length header (3 of 4 bytes)", 3},
    };
    // The parser takes one byte at a time, so how the bytes are split into
    // calls cannot matter: each case is fed whole.
    for (const auto& c : cases) {
        ReplyParser parser;
        parser.feed(c.bytes.data(), c.bytes.size());
        const Reply r = parser.finish();
        EXPECT_EQ(c.kind, r.kind) << c.bytes.substr(0, 20);
        EXPECT_EQ(c.bytes.substr(0, c.used), r.raw);
        EXPECT_NE(std::string::npos, r.problem.find(c.problem)) << r.problem;
    }
}

// What came with a reply but after it is no reply of this command; what comes
// later is drained before the next one; a writer gone mid-reply is an I/O error.
TEST(DspctlReplyReaderTest, DrainsWhatCameLateAndTellsAWriterGone) {
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_CLOEXEC));
    ReplyReader reader(fds[0], 20, 10);
    Reply reply;
    std::string stale;
    EXPECT_EQ(10, write(fds[1], "[ok]\0[ok]\0", 10));
    EXPECT_EQ(0, reader.read(&reply));
    EXPECT_EQ("[ok]\0"s, reply.raw);
    EXPECT_EQ(7, write(fds[1], "[fail]\0", 7));
    EXPECT_EQ(0, reader.drain(&stale));
    EXPECT_EQ("[fail]\0"s, stale);
    EXPECT_EQ(2, write(fds[1], "[o", 2));
    close(fds[1]);
    EXPECT_EQ(EIO, reader.read(&reply));
    close(fds[0]);
}

// Every scalar as JSON writes it, in document order, which is the order of
// the report's fields; a container the cut left empty shows as "[]" or "{}".
void flatten(const JsonValue& value, std::vector<std::string>* out) {
    for (size_t i = 0; i < value.size(); ++i) {
        if (value.at(i).size() > 0) flatten(value.at(i), out);
        if (value.at(i).size() == 0) out->push_back(value.at(i).write());
    }
}

// Cuts each report at every length the reply capacity can give: what is
// decoded is exactly the fields that arrived whole (each followed by ":"),
// less the labels, in order and as the server printed them; numbers as JSON
// numbers, the tag and the floats printed as inf or nan as strings.
TEST(DspctlReportDecoderTest, ACutAnywhereKeepsTheWholeFieldsAsPrinted) {
    const struct {
        std::string name;
        std::vector<std::string> labels;
        DecodedReport (*decode)(const std::string&);
    } reports[] = {
        {"sync", {"dsp sync", "vol", "delay", "eq", "eqbt", "ftr", "loud", "bq"}, decodeSyncReport},
        {"hfsync",
         {"dsp hfsync", "opgain", "pgagain", "seq", "req", "duplex", "nr", "nlp", "uplink"},
         decodeHfsyncReport},
    };
    audiosim::State wide = audiosim::State::defaults();
    wide.speakerDelay[0] = std::numeric_limits<float>::infinity();
    wide.speakerDelay[1] = -1.25f;
    wide.speakerDelay[2] = std::numeric_limits<float>::quiet_NaN();
    wide.biquad[5].band[19].phase = std::numeric_limits<int32_t>::min();
    for (const auto& r : reports) {
        DspHarness dsp;
        dsp.service().setState(wide);
        const std::string whole = dsp.run(r.name + "\n").bytes;
        const size_t full = whole.size();
        for (size_t length = 0; length <= full; ++length) {
            // The server cuts the report to its reply buffer, less two bytes.
            const std::string cut = dsp.run(r.name + "\n", static_cast<int>(length) + 2).bytes;
            ASSERT_EQ(whole.substr(0, length), cut) << r.name;
            std::vector<std::string> want = {'"' + r.name + '"', length == full ? "true" : "false"};
            std::istringstream fields(cut);
            for (std::string field; std::getline(fields, field, ':') && !fields.eof();) {
                if (std::count(r.labels.begin(), r.labels.end(), field) != 0) continue;
                const bool number = field.find_first_not_of("-.0123456789") == std::string::npos;
                want.push_back(number ? field : '"' + field + '"');
            }
            const DecodedReport part = r.decode(cut);
            std::vector<std::string> got;
            flatten(part.values, &got);
            EXPECT_EQ(length == full ? DecodedReport::kComplete : DecodedReport::kPartial,
                      part.status)
                << length << ": " << part.problem;
            ASSERT_EQ(want, got) << r.name << " cut at " << length;
        }
    }
}

// ("vol:x", a letter where a number belongs, is a row of the end-to-end
// table.)
TEST(DspctlReportDecoderTest, LinesOfTheWrongShapeAreMalformed) {
    DspHarness dsp;
    const std::string hfsync = dsp.run("hfsync\n").bytes;
    const struct {
        std::string line;
        DecodedReport (*decode)(const std::string&);
        const char* problem;
    } cases[] = {
        {"dsp hfsync:", decodeSyncReport, "expected \"dsp sync\""},
        {"dsp sync:A0101:vol::", decodeSyncReport, "whole number"},
        {"dsp sync:A0101:vol:030:", decodeSyncReport, "whole number"},
        {"dsp hfsync:A0101:opgain:1.50:0.000000:[ok]", decodeHfsyncReport, "six decimals"},
        {"dsp hfsync:A0101:opgain:1.00000x:0.000000:[ok]", decodeHfsyncReport, "six decimals"},
        {hfsync + ":[ok]", decodeHfsyncReport, "after the end mark"},
        {"dsp sync:[ok]", decodeSyncReport, "too early"},
    };
    for (const auto& c : cases) {
        const DecodedReport report = c.decode(c.line);
        EXPECT_EQ(DecodedReport::kMalformed, report.status) << c.problem;
        EXPECT_NE(std::string::npos, report.problem.find(c.problem)) << report.problem;
        EXPECT_EQ("false", report.values.find("complete")->write()) << c.problem;
    }
}

}  // namespace
