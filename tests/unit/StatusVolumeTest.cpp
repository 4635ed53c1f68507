// "status" and "vol", and what the "dsp" group does for every item, driven
// through the group on the simulated service.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DspHarness.h"
#include "ItemTables.h"

namespace {

TEST(StatusTest, AnswersOkWhateverTheWordsAndCallsNothing) {
    DspHarness dsp;
    expectPaths(dsp, {{"status\n", nullptr, {}, nullptr},
                      {"status", nullptr, {}, nullptr},
                      {"status a b\r", nullptr, {}, nullptr}});
}

TEST(VolumeTest, SetsTheMasterVolumeFromTheWord) {
    DspHarness dsp;
    expectCalls(dsp, "setMasterVolume",
                {
                    {"vol 40\n", {}, {40}},
                    {"vol 255\n", {}, {255}},
                    {"vol 256\n", {}, {0}},  // out of range gives 0, not 255
                    {"vol -1\n", {}, {0}},
                    {"vol 12abc\n", {}, {12}},
                    {"vol 40\r", {}, {40}},
                    {"vol 4294967336\n", {}, {0}},  // saturates, never wraps to 40
                });
    expectPaths(
        dsp, {
                 {"vol\n", nullptr, {}, "bad argc number\n"},
                 {"vol 1 2\n", nullptr, {}, "bad argc number\n"},
                 {"vol 40 \r", nullptr, {}, "bad argc number\n"},  // the CR forms a word
                 {"vol 40\n", "setMasterVolume", {"setMasterVolume"}, "setMasterVolume failed\n"},
             });
}

TEST(DspGroupTest, UnknownOrMissingItemGetsNoReply) {
    DspHarness dsp;
    for (const char* text : {"foo 1\n", "\n", "", "STATUS\n"}) {
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
        EXPECT_EQ(kFailReply, dsp.run(item + words + "\n").bytes) << item;
        EXPECT_TRUE(dsp.logged("ERR: bad argc number\n")) << item;
        EXPECT_TRUE(dsp.calls().empty()) << item;
    }
}

}  // namespace
