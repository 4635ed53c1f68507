// Routing of command texts through the tree by their first word. What a peer
// can send (blanks, case, unknown words, a NUL in a word) is answered in the
// framing wire table; here are the items the tree refuses, the lengths no
// line has, a line of blanks only and a word longer than any item's name
// there.
#include <gtest/gtest.h>

#include <string>

#include "Command.h"

namespace {

// A leaf that notes in `seen` its name and the text it was given.
class RecordingItem : public CommandItem {
public:
    RecordingItem(const char* name, std::string* seen) : mName(name), mSeen(seen) {}
    const char* name() const override { return mName; }
    int exec(char* text, int len, char*, int) override {
        *mSeen = std::string(mName) + "|" + std::string(text, static_cast<size_t>(len));
        return 5;
    }
    int setNotify(NotifyFunc, void*) override { return 0; }

private:
    const char* mName;
    std::string* mSeen;
};

TEST(CommandTest, AddRefusesNullNamelessAndDuplicatesAndTheFirstWordPicksTheChild) {
    const std::string longName(64, 'w');
    std::string seen;
    Command root;
    RecordingItem nameless(nullptr, &seen), twin("dsp", &seen);
    EXPECT_EQ(0, root.add(nullptr));
    EXPECT_EQ(0, root.add(&nameless));
    EXPECT_EQ(1, root.add(new RecordingItem("dsp", &seen)));
    EXPECT_EQ(0, root.add(&twin));  // caller keeps it: destroyed on the stack
    EXPECT_EQ(1, root.add(new RecordingItem("DSP", &seen)));
    EXPECT_EQ(1, root.add(new RecordingItem(longName.c_str(), &seen)));
    struct {
        std::string text;
        int len;
        std::string seen;  // the child reached and its rest; "": none
    } cases[] = {
        {"dsp vol 10", 10, "dsp| vol 10"},
        {"DSP", 3, "DSP|"},
        {" \t\r", 3, ""},
        {"dspx", 3, "dsp|"},  // the length stops the word
        {"dsp", -5, ""},
        {longName + "tail6\n", 70, longName + "|tail6\n"},  // a word is cut after 64 bytes
    };
    for (auto& c : cases) {
        seen.clear();
        char out[16];
        EXPECT_EQ(c.seen.empty() ? -1 : 5, root.dispatch(&c.text[0], c.len, out, sizeof out))
            << c.text;
        EXPECT_EQ(c.seen, seen) << c.text;
    }
}

}  // namespace
