// Number words and argument splitting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ArgumentWords.h"
#include "NumberWords.h"
#include "SimService.h"

namespace {

TEST(NumberWordsTest, WholeNumbersSaturateAtTheInt32Range) {
    const struct {
        const char* word;
        int base;
        int32_t value;
    } cases[] = {
        {"12abc", 10, 12},
        {"abc", 10, 0},
        {"0x20", 10, 0},
        {"  5", 10, 5},
        {"4294967297", 10, 2147483647},  // not 1: no wrap
        {"-2147483649", 10, INT32_MIN},
        {"ff", 16, 255},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, wordToInt(c.word, c.base)) << c.word;
    }
    EXPECT_EQ(0, wordToInt(nullptr));
}

TEST(NumberWordsTest, FloatsNarrowToSinglePrecisionAndOverflowToInfinity) {
    EXPECT_EQ(0.001f, wordToFloat("1e-3"));
    EXPECT_EQ(-6.5f, wordToFloat("-6.5dB"));
    EXPECT_EQ(0.0f, wordToFloat("abc"));
    EXPECT_EQ(HUGE_VALF, wordToFloat("1e300"));
    EXPECT_EQ(-HUGE_VALF, wordToFloat("-1e300"));
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

TEST(ArgumentWordsTest, SplitsAtSpaceTabAndLineFeedOnlyAndLogsEachWord) {
    audiosim::LogCapture log;
    EXPECT_EQ(std::vector<std::string>{}, split("\n"));
    EXPECT_EQ(std::vector<std::string>{"10\r"}, split(" 10\r"));
    EXPECT_EQ((std::vector<std::string>{"10", "\r"}), split(" 10 \r"));
    log.clear();
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), split("a\tb  c\n"));
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("AudioCommand exec ")) << lines[0];
    EXPECT_NE(std::string::npos, lines[2].find("INF: argv[2]=c\n")) << lines[2];
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

}  // namespace
