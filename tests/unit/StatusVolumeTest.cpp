// "status" and "vol" driven through the "dsp" group on the simulated service.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DspHarness.h"

namespace {

struct VolumeCase {
    const char* text;  // after "dsp"
    bool ok;
    int volume;  // -1: setMasterVolume not called
    const char* error;
};

TEST(StatusTest, AnswersOkWhateverTheWordsAndCallsNothing) {
    DspHarness dsp;
    for (const char* text : {"status\n", "status", "status a b\n", "status\r"}) {
        const DspHarness::Result r = dsp.run(text);
        EXPECT_EQ(5, r.count) << text;
        EXPECT_EQ(kOkReply, r.bytes) << text;
        EXPECT_TRUE(dsp.calls().empty()) << text;
        EXPECT_FALSE(dsp.logged("ERR")) << text;
    }
}

TEST(VolumeTest, ConvertsTheWordAndSetsTheMasterVolume) {
    const VolumeCase cases[] = {
        {"vol 40\n", true, 40, nullptr},
        {"vol 255\n", true, 255, nullptr},
        {"vol 0\n", true, 0, nullptr},
        {"vol 256\n", true, 0, nullptr},  // out of range gives 0, not 255
        {"vol -1\n", true, 0, nullptr},
        {"vol abc\n", true, 0, nullptr},
        {"vol 12abc\n", true, 12, nullptr},
        {"vol +7\n", true, 7, nullptr},
        {"vol 0x20\n", true, 0, nullptr},
        {"vol 40\r", true, 40, nullptr},
        {"vol 99999999999999999999\n", true, 0, nullptr},
        {"vol 4294967336\n", true, 0, nullptr},  // saturates, never wraps to 40
        {"\t vol \t 20  \n", true, 20, nullptr},
        {"vol\n", false, -1, "bad argc number\n"},
        {"vol 1 2\n", false, -1, "bad argc number\n"},
        {"vol 40 \r", false, -1, "bad argc number\n"},  // the CR forms a word
    };
    DspHarness dsp;
    for (const VolumeCase& c : cases) {
        const DspHarness::Result r = dsp.run(c.text);
        EXPECT_EQ(c.ok ? kOkReply : kFailReply, r.bytes) << c.text;
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        if (c.volume < 0) {
            EXPECT_TRUE(calls.empty()) << c.text;
        } else {
            ASSERT_EQ(1u, calls.size()) << c.text;
            EXPECT_EQ("setMasterVolume", calls[0].op);
            EXPECT_EQ(std::vector<int64_t>{c.volume}, calls[0].ints) << c.text;
            EXPECT_EQ(c.volume, dsp.service().state().masterVolume) << c.text;
        }
        if (c.error != nullptr) {
            EXPECT_TRUE(dsp.logged(std::string("ERR: ") + c.error)) << c.text;
        }
    }
}

TEST(VolumeTest, RefusedWriteAnswersFail) {
    DspHarness dsp;
    dsp.service().setFailing("setMasterVolume");
    const DspHarness::Result r = dsp.run("vol 40\n");
    EXPECT_EQ(7, r.count);
    EXPECT_EQ(kFailReply, r.bytes);
    EXPECT_EQ(std::vector<std::string>{"setMasterVolume"}, dsp.calls());
    EXPECT_TRUE(dsp.logged("<3>[ AudioCommand exec_i "));
    EXPECT_TRUE(dsp.logged("ERR: setMasterVolume failed\n"));
    EXPECT_NE(40, dsp.service().state().masterVolume);
}

TEST(DspGroupTest, UnknownOrMissingItemGetsNoReply) {
    DspHarness dsp;
    for (const char* text : {"foo 1\n", "\n", "", "STATUS\n", "Vol 1\n"}) {
        EXPECT_EQ(-1, dsp.run(text).count) << text;
    }
}

TEST(DspGroupTest, MoreThan256WordsAreRefusedByEveryItem) {
    DspHarness dsp;
    std::string words;
    for (int i = 0; i < 257; ++i) {
        words += " 1";
    }
    for (const char* item : {"status", "vol"}) {
        const DspHarness::Result r = dsp.run(std::string(item) + words + "\n");
        EXPECT_EQ(kFailReply, r.bytes) << item;
        EXPECT_TRUE(dsp.logged("bad argc number")) << item;
        EXPECT_TRUE(dsp.calls().empty()) << item;
    }
}

void recordSink(void* ctx, unsigned char* data, unsigned int len) {
    static_cast<std::string*>(ctx)->append(reinterpret_cast<char*>(data), len);
}

TEST(DspGroupTest, KeepsTheSinkForItsItems) {
    DspHarness dsp;
    unsigned char frame[] = {1, 2, 3};
    EXPECT_FALSE(dsp.group().notify(frame, sizeof frame));
    std::string sent;
    EXPECT_EQ(0, dsp.group().setNotify(&recordSink, &sent));
    EXPECT_TRUE(dsp.group().notify(frame, sizeof frame));
    EXPECT_EQ(std::string("\x01\x02\x03", 3), sent);
    EXPECT_STREQ("dsp", dsp.group().name());
}

}  // namespace
