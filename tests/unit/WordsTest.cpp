// Number words, argument splitting, bounded append and replies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "AppendFormat.h"
#include "ArgumentWords.h"
#include "NumberWords.h"
#include "Reply.h"
#include "SimService.h"

namespace {

struct IntCase {
    const char* word;
    int base;
    int32_t value;
};

TEST(NumberWordsTest, WholeNumbersConvertAsA32BitLong) {
    const IntCase cases[] = {
        {"40", 10, 40},
        {"+7", 10, 7},
        {"-1", 10, -1},
        {"12abc", 10, 12},
        {"abc", 10, 0},
        {"", 10, 0},
        {"0x20", 10, 0},
        {"  5", 10, 5},
        {"40\r", 10, 40},
        {"2147483647", 10, 2147483647},
        {"2147483648", 10, 2147483647},
        {"4294967296", 10, 2147483647},
        {"4294967297", 10, 2147483647},
        {"-2147483649", 10, INT32_MIN},
        {"99999999999999999999999", 10, 2147483647},
        {"ff", 16, 255},
        {"-1", 16, -1},
        {"G1", 16, 0},
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(c.value, wordToInt(c.word, c.base)) << c.word;
    }
    EXPECT_EQ(0, wordToInt(nullptr));
}

TEST(NumberWordsTest, NarrowFieldsKeepTheLowBitsAfterSaturation) {
    EXPECT_EQ(4464, low16(wordToInt("70000")));
    EXPECT_EQ(65535, low16(wordToInt("-1")));
    // Saturation comes first: 4294967297 is 2^31 - 1 before narrowing, not 1.
    EXPECT_EQ(65535, low16(wordToInt("4294967297")));
    EXPECT_EQ(44, low8(wordToInt("300")));
    EXPECT_EQ(255, low8(wordToInt("-1")));
}

TEST(NumberWordsTest, FloatsNarrowToSinglePrecision) {
    EXPECT_EQ(1.5f, wordToFloat("1.5"));
    EXPECT_EQ(0.001f, wordToFloat("1e-3"));
    EXPECT_EQ(-6.5f, wordToFloat("-6.5dB"));
    EXPECT_EQ(0.0f, wordToFloat("abc"));
    EXPECT_EQ(static_cast<float>(0.1), wordToFloat("0.1"));
    EXPECT_TRUE(std::isinf(wordToFloat("1e300")));
    EXPECT_GT(wordToFloat("1e300"), 0.0f);
    EXPECT_TRUE(std::isinf(wordToFloat("-1e300")));
    EXPECT_LT(wordToFloat("-1e300"), 0.0f);
}

TEST(NumberWordsTest, ChannelIndexIsComparedUnsigned) {
    const struct {
        const char* word;
        bool ok;
        uint32_t mask;
    } cases[] = {
        {"0", true, 1},  {"1", true, 2},    {"2", true, 4},           {"3", true, 8},
        {"4", true, 16}, {"5", true, 32},   {"6", false, 0},          {"-1", false, 0},
        {"x", true, 1},  {"5\r", true, 32}, {"4294967296", false, 0}, {"-4294967295", false, 0},
    };
    for (const auto& c : cases) {
        uint32_t mask = 0xdead;
        EXPECT_EQ(c.ok, wordToChannelMask(c.word, &mask)) << c.word;
        EXPECT_EQ(c.ok ? c.mask : 0xdeadu, mask) << c.word;
    }
}

std::vector<std::string> split(std::string text, bool* ok = nullptr) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char* argv[kMaxArgumentWords];
    int argc = -1;
    const bool result = splitArgumentWords(buffer.data(), argv, &argc);
    if (ok != nullptr) {
        *ok = result;
    }
    return std::vector<std::string>(argv, argv + argc);
}

TEST(ArgumentWordsTest, SplitsAtSpaceTabAndLineFeedOnly) {
    audiosim::LogCapture log;
    EXPECT_EQ(std::vector<std::string>{}, split("\n"));
    EXPECT_EQ(std::vector<std::string>{"10"}, split(" 10\n"));
    EXPECT_EQ(std::vector<std::string>{"10\r"}, split(" 10\r"));
    EXPECT_EQ((std::vector<std::string>{"10", "\r"}), split(" 10 \r"));
    EXPECT_EQ(std::vector<std::string>{"20"}, split("\t 20  \n"));
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), split("a\tb  c"));
    char* argv[1];
    int argc = -1;
    EXPECT_TRUE(splitArgumentWords(nullptr, argv, &argc));
    EXPECT_EQ(0, argc);
}

TEST(ArgumentWordsTest, EachWordIsLogged) {
    audiosim::LogCapture log;
    split(" 10 abc\n");
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("INF: argv[0]=10\n"));
    EXPECT_NE(std::string::npos, lines[0].find("AudioCommand exec "));
    EXPECT_NE(std::string::npos, lines[1].find("INF: argv[1]=abc\n"));
}

TEST(ArgumentWordsTest, At256WordsTheVectorIsFullAndOneMoreIsRefused) {
    audiosim::LogCapture log;
    std::string text;
    for (int i = 0; i < kMaxArgumentWords; ++i) {
        text += " w" + std::to_string(i);
    }
    bool ok = false;
    const std::vector<std::string> words = split(text, &ok);
    EXPECT_TRUE(ok);
    ASSERT_EQ(256u, words.size());
    EXPECT_EQ("w255", words.back());
    EXPECT_FALSE(log.contains("bad argc number"));

    split(text + " w256", &ok);
    EXPECT_FALSE(ok);
    EXPECT_TRUE(log.contains("ERR: bad argc number\n"));
}

TEST(AppendFormatTest, NeverTouchesTheLastByteOfTheStatedSize) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    appendFormat(buffer, 8, "%s", "abcdefghij");
    EXPECT_STREQ("abcdef", buffer);  // size - 2 characters and a NUL
    EXPECT_EQ('#', buffer[7]);

    char text[32] = "eq";
    appendFormat(text + std::strlen(text), static_cast<int>(sizeof text - std::strlen(text)),
                 ":%d:%f", 7, -3.5f);
    EXPECT_STREQ("eq:7:-3.500000", text);

    std::memset(buffer, '#', sizeof buffer);
    appendFormat(buffer, 1, "%s", "x");
    appendFormat(buffer, 0, "%s", "x");
    appendFormat(buffer, -4, "%s", "x");
    EXPECT_EQ('#', buffer[0]);
}

TEST(ReplyTest, OkAndFailCarryTheirNul) {
    char out[8];
    std::memset(out, '#', sizeof out);
    ASSERT_EQ(5, replyOk(out, sizeof out));
    EXPECT_EQ(std::string("[ok]\0", 5), std::string(out, 5));
    ASSERT_EQ(7, replyFail(out, sizeof out));
    EXPECT_EQ(std::string("[fail]\0", 7), std::string(out, 7));
    EXPECT_EQ(0, replyOk(out, 4));
    EXPECT_EQ(0, replyFail(out, 6));
}

}  // namespace
