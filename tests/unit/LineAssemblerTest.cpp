// Framing of the serial byte stream into command lines, at the edge of a
// small buffer (the framing wire table has the line ends through the worker).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LineAssembler.h"

namespace {

TEST(LineAssemblerTest, CutsLinesAtLineEndsAndDropsOverlongOnes) {
    constexpr int kCapacity = 8;  // lines of up to 6 bytes and a terminator
    const struct {
        const char* label;
        std::vector<std::string> chunks;  // fed as separate reads
        std::vector<std::string> lines;
        int overflows;
    } cases[] = {
        {"split over two reads", {"ab", "c\n"}, {"abc\n"}, 0},
        {"longest line that fits", {"123456\n"}, {"123456\n"}, 0},
        {"overlong line dropped whole", {"1234", "567tail\n", "ok\n"}, {"ok\n"}, 1},
        {"dropping ends at CR, its LF is bare", {"1234567\r\nok\n"}, {"ok\n"}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<char> storage(kCapacity + 1, '\0');
        storage[kCapacity] = 'G';  // a guard byte behind the buffer
        LineAssembler assembler(storage.data(), kCapacity);
        std::vector<std::string> lines;
        int overflows = 0;
        for (const std::string& chunk : c.chunks) {
            assembler.feed(
                chunk.data(), static_cast<int>(chunk.size()),
                [&](char* line, int len) {
                    EXPECT_EQ('\0', line[len]);  // a NUL follows the line
                    lines.emplace_back(line, static_cast<size_t>(len));
                },
                [&] { ++overflows; });
        }
        EXPECT_EQ(c.lines, lines);
        EXPECT_EQ(c.overflows, overflows);
        EXPECT_EQ('G', storage[kCapacity]);
        if (assembler.length() == 0) {  // zero again after every complete line
            EXPECT_EQ(std::string(kCapacity, '\0'), std::string(storage.data(), kCapacity));
        }
    }
}

}  // namespace
