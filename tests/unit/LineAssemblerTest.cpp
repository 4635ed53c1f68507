// Framing of the serial byte stream into command lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineAssembler.h"

namespace {

struct Framed {
    std::vector<std::string> lines;
    int overflows = 0;
};

// Feeds `chunks` as separate reads into an assembler of `capacity` bytes.
Framed frame(const std::vector<std::string>& chunks, int capacity = 8192) {
    std::vector<char> buffer(static_cast<size_t>(capacity), '\0');
    LineAssembler assembler(buffer.data(), capacity);
    Framed framed;
    for (const std::string& chunk : chunks) {
        assembler.feed(
            chunk.data(), static_cast<int>(chunk.size()),
            [&](char* line, int len) {
                // The line is followed by a NUL inside the buffer.
                EXPECT_LT(len, capacity);
                EXPECT_EQ('\0', line[len]);
                framed.lines.emplace_back(line, static_cast<size_t>(len));
            },
            [&] { ++framed.overflows; });
    }
    // After every complete line the buffer is zero again.
    if (assembler.length() == 0) {
        for (char c : buffer) {
            EXPECT_EQ('\0', c);
        }
    }
    return framed;
}

struct FrameCase {
    const char* label;
    std::vector<std::string> chunks;
    std::vector<std::string> lines;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.label; }

class FrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameTest, CutsLinesAtLineEnds) {
    const FrameCase& c = GetParam();
    const Framed framed = frame(c.chunks);
    EXPECT_EQ(c.lines, framed.lines);
    EXPECT_EQ(0, framed.overflows);
}

INSTANTIATE_TEST_SUITE_P(
    LineAssembler, FrameTest,
    ::testing::Values(
        FrameCase{"OneLine", {"dsp status\n"}, {"dsp status\n"}},
        FrameCase{"SplitOverTwoReads", {"dsp st", "atus\n"}, {"dsp status\n"}},
        FrameCase{
            "TwoLinesInOneRead", {"dsp status\ndsp vol 10\n"}, {"dsp status\n", "dsp vol 10\n"}},
        FrameCase{"CrLfIsOneLine", {"dsp status\r\n"}, {"dsp status\r"}},
        FrameCase{"CrAlone", {"a\rb\r"}, {"a\r", "b\r"}},
        FrameCase{"BareTerminatorsAreSkipped", {"\n\r\n\n"}, {}},
        FrameCase{"UnfinishedLineWaits", {"dsp status"}, {}},
        FrameCase{"ByteByByte", {"d", "s", "p", "\n"}, {"dsp\n"}},
        FrameCase{"NulIsStored", {std::string("a\0b\n", 4)}, {std::string("a\0b\n", 4)}}),
    [](const ::testing::TestParamInfo<FrameCase>& info) { return std::string(info.param.label); });

TEST(LineAssemblerTest, LongestLineThatFitsIsHandedOn) {
    // capacity - 1 bytes with the terminator, so the NUL still fits.
    const std::string longest(8190, 'x');
    const Framed framed = frame({longest + "\n"});
    ASSERT_EQ(1u, framed.lines.size());
    EXPECT_EQ(8191u, framed.lines[0].size());
    EXPECT_EQ(0, framed.overflows);
}

TEST(LineAssemblerTest, OverlongLineIsDroppedWholeAndTheNextLineWorks) {
    const std::string tooLong(8191, 'x');
    const Framed framed =
        frame({tooLong.substr(0, 5000), tooLong.substr(5000) + "tail\n", "dsp status\n"});
    EXPECT_EQ(1, framed.overflows);
    EXPECT_EQ(std::vector<std::string>{"dsp status\n"}, framed.lines);
}

TEST(LineAssemblerTest, OverflowInASmallBufferNeverWritesPastIt) {
    // A guard byte behind the buffer must stay untouched.
    std::vector<char> storage(9, '\0');
    storage[8] = 'G';
    LineAssembler assembler(storage.data(), 8);
    int overflows = 0;
    std::vector<std::string> lines;
    const std::string input = "0123456789abcdef\r\nabc\n";
    assembler.feed(
        input.data(), static_cast<int>(input.size()),
        [&](char* line, int len) { lines.emplace_back(line, static_cast<size_t>(len)); },
        [&] { ++overflows; });
    EXPECT_EQ('G', storage[8]);
    EXPECT_EQ(1, overflows);
    EXPECT_EQ(std::vector<std::string>{"abc\n"}, lines);
}

TEST(LineAssemblerTest, DroppingEndsAtCrSoAFollowingLfIsABareTerminator) {
    const Framed framed = frame({std::string(9000, 'y') + "\r\n", "ok\n"});
    EXPECT_EQ(1, framed.overflows);
    EXPECT_EQ(std::vector<std::string>{"ok\n"}, framed.lines);
}

}  // namespace
