// Routing of command texts through the tree by their words.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "Command.h"
#include "SubCommandBox.h"

namespace {

// A leaf that records what it was given and answers with a fixed count.
class RecordingItem : public CommandItem {
public:
    RecordingItem(const char* name, std::vector<std::string>* destroyed = nullptr, int result = 5)
        : mName(name), mDestroyed(destroyed), mResult(result) {}
    ~RecordingItem() override {
        if (mDestroyed != nullptr) {
            mDestroyed->push_back(mName != nullptr ? mName : "(null)");
        }
    }
    const char* name() const override { return mName; }
    int exec(char* text, int len, char*, int) override {
        ++calls;
        rest.assign(text, static_cast<size_t>(len > 0 ? len : 0));
        restLen = len;
        return mResult;
    }
    int setNotify(NotifyFunc fn, void* ctx) override {
        notified = fn;
        notifyCtx = ctx;
        return 7;  // ignored by containers
    }

    int calls = 0;
    int restLen = -99;
    std::string rest;
    NotifyFunc notified = nullptr;
    void* notifyCtx = nullptr;

private:
    const char* mName;
    std::vector<std::string>* mDestroyed;
    int mResult;
};

class Group : public SubCommandBox {
public:
    explicit Group(const char* name) : mName(name) {}
    const char* name() const override { return mName; }

private:
    const char* mName;
};

int dispatchText(Command& command, const std::string& text) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char out[16];
    return command.dispatch(buffer.data(), static_cast<int>(text.size()), out, sizeof out);
}

constexpr int kOwnLength = 1 << 30;

struct RouteCase {
    const char* label;
    std::string text;
    int len;           // kOwnLength: the text's own length
    bool matches;      // the child "dsp" is reached
    std::string rest;  // what the child receives
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.label; }

class RouteTest : public ::testing::TestWithParam<RouteCase> {};

TEST_P(RouteTest, FirstWordPicksTheChild) {
    const RouteCase& c = GetParam();
    Command root;
    auto* item = new RecordingItem("dsp");
    ASSERT_EQ(1, root.add(item));
    std::vector<char> buffer(c.text.begin(), c.text.end());
    buffer.push_back('\0');
    char out[16];
    const int len = c.len == kOwnLength ? static_cast<int>(c.text.size()) : c.len;
    const int result = root.dispatch(buffer.data(), len, out, sizeof out);
    if (c.matches) {
        EXPECT_EQ(5, result);
        EXPECT_EQ(1, item->calls);
        EXPECT_EQ(c.rest, item->rest);
        EXPECT_EQ(static_cast<int>(c.rest.size()), item->restLen);
    } else {
        EXPECT_EQ(-1, result);
        EXPECT_EQ(0, item->calls);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Command, RouteTest,
    ::testing::Values(RouteCase{"plain", "dsp vol 10", kOwnLength, true, " vol 10"},
                      RouteCase{"leading blanks", "  \t dsp\r", kOwnLength, true, "\r"},
                      RouteCase{"no terminator", "dsp", 3, true, ""},
                      RouteCase{"line feed", "dsp status\n", kOwnLength, true, " status\n"},
                      RouteCase{"case matters", "DSP status", kOwnLength, false, ""},
                      RouteCase{"only blanks", " \t\r\n", kOwnLength, false, ""},
                      RouteCase{"empty", "", 0, false, ""},
                      RouteCase{"prefix of a name", "ds vol", kOwnLength, false, ""},
                      RouteCase{"longer than a name", "dspx vol", kOwnLength, false, ""},
                      RouteCase{"length stops the word", "dspx", 3, true, ""},
                      RouteCase{"negative length", "dsp", -5, false, ""}),
    [](const ::testing::TestParamInfo<RouteCase>& info) {
        std::string name = info.param.label;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

TEST(CommandTest, WordIsCutAfter64BytesAndTheRestGoesOn) {
    const std::string name(64, 'w');
    Command root;
    auto* item = new RecordingItem(name.c_str());
    ASSERT_EQ(1, root.add(item));
    EXPECT_EQ(5, dispatchText(root, name + "tail6\n"));
    EXPECT_EQ("tail6\n", item->rest);
}

TEST(CommandTest, NulInsideTheTextIsAnOrdinaryByte) {
    Command root;
    auto* item = new RecordingItem("ab");
    ASSERT_EQ(1, root.add(item));
    // The word "ab\0c" is compared as a C string: "ab" matches.
    EXPECT_EQ(5, dispatchText(root, std::string("ab\0c x", 6)));
    EXPECT_EQ(" x", item->rest);
}

TEST(CommandTest, AddRejectsNullNamelessAndDuplicates) {
    Command root;
    EXPECT_EQ(0, root.add(nullptr));
    RecordingItem nameless(nullptr);
    EXPECT_EQ(0, root.add(&nameless));
    EXPECT_EQ(1, root.add(new RecordingItem("dsp")));
    RecordingItem twin("dsp");
    EXPECT_EQ(0, root.add(&twin));  // caller keeps it: destroyed on the stack
    EXPECT_EQ(1, root.add(new RecordingItem("DSP")));
}

TEST(CommandTest, FirstChildOfAListIsFoundAndOthersAreReached) {
    Command root;
    auto* a = new RecordingItem("a", nullptr, 1);
    auto* b = new RecordingItem("b", nullptr, 2);
    root.add(a);
    root.add(b);
    EXPECT_EQ(2, dispatchText(root, "b"));
    EXPECT_EQ(1, dispatchText(root, "a"));
    EXPECT_EQ(-1, dispatchText(root, "c"));
}

TEST(CommandTest, DestroysChildrenInOrder) {
    std::vector<std::string> destroyed;
    {
        Command root;
        root.add(new RecordingItem("one", &destroyed));
        root.add(new RecordingItem("two", &destroyed));
        root.add(new RecordingItem("three", &destroyed));
    }
    EXPECT_EQ((std::vector<std::string>{"one", "two", "three"}), destroyed);
}

TEST(CommandTest, GroupRoutesTheNextWord) {
    Command root;
    auto* group = new Group("dsp");
    auto* vol = new RecordingItem("vol");
    ASSERT_EQ(1, group->add(vol));
    ASSERT_EQ(1, root.add(group));
    EXPECT_EQ(5, dispatchText(root, "dsp vol 10"));
    EXPECT_EQ(" 10", vol->rest);
    EXPECT_EQ(-1, dispatchText(root, "dsp foo 1"));
    EXPECT_EQ(-1, dispatchText(root, "dsp\n"));
}

void sink(void*, unsigned char*, unsigned int) {}

TEST(CommandTest, NotifyReachesChildrenButAGroupKeepsItToItself) {
    Command root;
    auto* leaf = new RecordingItem("leaf");
    auto* group = new Group("dsp");
    auto* inner = new RecordingItem("vol");
    group->add(inner);
    root.add(leaf);
    root.add(group);
    int ctx = 0;
    EXPECT_EQ(0, root.setNotify(&sink, &ctx));
    EXPECT_EQ(&sink, leaf->notified);
    EXPECT_EQ(&ctx, leaf->notifyCtx);
    EXPECT_EQ(nullptr, inner->notified);
}

}  // namespace
