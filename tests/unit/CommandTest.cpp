// Routing of command texts through the tree by their words (the "dsp"
// group's own routing is driven through DspHarness and end to end).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Command.h"

namespace {

// A leaf that records what it was given and answers with a fixed count.
class RecordingItem : public CommandItem {
public:
    explicit RecordingItem(const char* name, int result = 5) : mName(name), mResult(result) {}
    const char* name() const override { return mName; }
    int exec(char* text, int len, char*, int) override {
        ++calls;
        rest.assign(text, static_cast<size_t>(len > 0 ? len : 0));
        restLen = len;
        return mResult;
    }
    int setNotify(NotifyFunc, void*) override { return 0; }

    int calls = 0;
    int restLen = -99;
    std::string rest;

private:
    const char* mName;
    int mResult;
};

constexpr int kOwnLength = 1 << 30;

int dispatchText(Command& command, const std::string& text, int len = kOwnLength) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char out[16];
    return command.dispatch(buffer.data(), len == kOwnLength ? static_cast<int>(text.size()) : len,
                            out, sizeof out);
}

TEST(CommandTest, FirstWordPicksTheChildAndTheRestGoesOn) {
    const std::string longName(64, 'w');
    const struct {
        std::string text;
        int len;
        const char* rest;  // what the child receives; nullptr: no child reached
    } cases[] = {
        {"dsp vol 10", kOwnLength, " vol 10"},
        {"  \t dsp\r", kOwnLength, "\r"},
        {"dsp", 3, ""},
        {"DSP status", kOwnLength, nullptr},  // case matters
        {" \t\r\n", kOwnLength, nullptr},
        {"", 0, nullptr},
        {"ds vol", kOwnLength, nullptr},
        {"dspx vol", kOwnLength, nullptr},
        {"dspx", 3, ""},  // the length stops the word
        {"dsp", -5, nullptr},
        {std::string("dsp\0c x", 7), kOwnLength, " x"},  // a NUL is an ordinary byte
        {longName + "tail6\n", kOwnLength, "tail6\n"},   // a word is cut after 64 bytes
    };
    for (const auto& c : cases) {
        Command root;
        auto* dsp = new RecordingItem("dsp");
        auto* longItem = new RecordingItem(longName.c_str());
        ASSERT_EQ(1, root.add(dsp));
        ASSERT_EQ(1, root.add(longItem));
        const int result = dispatchText(root, c.text, c.len);
        EXPECT_EQ(c.rest != nullptr ? 5 : -1, result) << c.text;
        EXPECT_EQ(c.rest != nullptr ? 1 : 0, dsp->calls + longItem->calls) << c.text;
        if (c.rest != nullptr) {
            const RecordingItem* reached = dsp->calls != 0 ? dsp : longItem;
            EXPECT_EQ(c.rest, reached->rest) << c.text;
            EXPECT_EQ(static_cast<int>(std::string(c.rest).size()), reached->restLen) << c.text;
        }
    }
}

TEST(CommandTest, AddRefusesNullNamelessAndDuplicates) {
    Command root;
    EXPECT_EQ(0, root.add(nullptr));
    RecordingItem nameless(nullptr);
    EXPECT_EQ(0, root.add(&nameless));
    auto* a = new RecordingItem("dsp", 1);
    EXPECT_EQ(1, root.add(a));
    RecordingItem twin("dsp", 2);
    EXPECT_EQ(0, root.add(&twin));  // caller keeps it: destroyed on the stack
    EXPECT_EQ(1, root.add(new RecordingItem("DSP", 3)));
    EXPECT_EQ(1, dispatchText(root, "dsp"));
    EXPECT_EQ(3, dispatchText(root, "DSP"));
}

}  // namespace
