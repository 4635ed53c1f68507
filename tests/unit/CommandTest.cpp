// Routing of command texts through the tree by their first word. What a peer
// can send (blanks, case, unknown words, a NUL in a word) is answered in the
// framing wire table; here are the lengths no line has, a line of blanks
// only and a word longer than any item's name there.
#include <gtest/gtest.h>

#include <string>

#include "Command.h"

namespace {

// A leaf that records what it was given and answers with a fixed count.
class RecordingItem : public CommandItem {
public:
    explicit RecordingItem(const char* name, int result = 5) : mName(name), mResult(result) {}
    const char* name() const override { return mName; }
    int exec(char* text, int len, char*, int) override {
        ++calls;
        rest = len < 0 ? "(negative length)" : std::string(text, static_cast<size_t>(len));
        return mResult;
    }
    int setNotify(NotifyFunc, void*) override { return 0; }

    int calls = 0;
    std::string rest;

private:
    const char* mName;
    int mResult;
};

int dispatch(Command& command, std::string text, int len) {
    char out[16];
    return command.dispatch(&text[0], len, out, sizeof out);
}

TEST(CommandTest, FirstWordPicksTheChildAndTheRestGoesOn) {
    const std::string longName(64, 'w');
    const struct {
        std::string text;
        int len;
        const char* rest;  // what the child receives; nullptr: no child reached
    } cases[] = {
        {"dsp vol 10", 10, " vol 10"},
        {"dsp", 3, ""},
        {" \t\r", 3, nullptr},
        {"dspx", 3, ""},  // the length stops the word
        {"dsp", -5, nullptr},
        {longName + "tail6\n", 70, "tail6\n"},  // a word is cut after 64 bytes
    };
    for (const auto& c : cases) {
        Command root;
        auto* dsp = new RecordingItem("dsp");
        auto* longItem = new RecordingItem(longName.c_str());
        ASSERT_EQ(1, root.add(dsp));
        ASSERT_EQ(1, root.add(longItem));
        const int result = dispatch(root, c.text, c.len);
        EXPECT_EQ(c.rest != nullptr ? 5 : -1, result) << c.text;
        EXPECT_EQ(c.rest != nullptr ? 1 : 0, dsp->calls + longItem->calls) << c.text;
        if (c.rest != nullptr) {
            const RecordingItem* reached = dsp->calls != 0 ? dsp : longItem;
            EXPECT_EQ(c.rest, reached->rest) << c.text;
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
    EXPECT_EQ(1, dispatch(root, "dsp", 3));
    EXPECT_EQ(3, dispatch(root, "DSP", 3));
}

}  // namespace
