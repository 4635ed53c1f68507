// "cvol", "delay", "ftr", "loud", "sig" and "spk": items that write their
// values without reading first, driven through the "dsp" group on the
// simulated service.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "ItemTables.h"

namespace {

using Strings = std::vector<std::string>;
const char kBadArgc[] = "bad argc number\n";
const char kBadParameter[] = "bad parameter\n";

// A command that succeeds and the one record it hands to `op`.
struct RecordCase {
    const char* text;
    std::vector<uint8_t> bytes;
};

void expectRecords(DspHarness& dsp, const char* op, const std::vector<RecordCase>& cases) {
    for (const RecordCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(kOkReply, dsp.run(c.text).bytes);
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(op, calls[0].op);
        EXPECT_EQ(c.bytes, calls[0].bytes);
    }
}

// A command that succeeds and the by-value arguments it passes.
struct ArgumentCase {
    const char* text;
    std::vector<int64_t> ints;
    std::vector<double> reals;
};

void expectArguments(DspHarness& dsp, const char* op, const std::vector<ArgumentCase>& cases) {
    for (const ArgumentCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(kOkReply, dsp.run(c.text).bytes);
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(op, calls[0].op);
        EXPECT_EQ(c.ints, calls[0].ints);
        EXPECT_EQ(c.reals, calls[0].reals);
    }
}

Bytes gainRecord(uint32_t mask, uint32_t gain) { return Bytes().u32(mask).u8(gain).zeros(3); }

TEST(ChannelVolumeTest, PassesTheMaskAndTheLowEightBitsOfTheGain) {
    DspHarness dsp;
    expectRecords(dsp, "setChannelGain",
                  {
                      {"cvol 0 300\n", gainRecord(1, 44).data()},
                      {"cvol 2 -1\n", gainRecord(4, 255).data()},
                      {"cvol 5 256\n", gainRecord(32, 0).data()},
                      {"cvol x 7\n", gainRecord(1, 7).data()},  // no digits: channel 0
                      {"cvol 3 12abc\r", gainRecord(8, 12).data()},
                      {"cvol 4 99999999999\n", gainRecord(16, 255).data()},  // saturated first
                  });
    EXPECT_EQ(12, dsp.service().state().channelGain[3]);
    EXPECT_EQ(255, dsp.service().state().channelGain[4]);
}

TEST(ChannelVolumeTest, FailurePaths) {
    DspHarness dsp;
    expectPaths(
        dsp, {
                 {"cvol\n", nullptr, {}, kBadArgc},
                 {"cvol 1\n", nullptr, {}, kBadArgc},
                 {"cvol 1 2 3\n", nullptr, {}, kBadArgc},
                 {"cvol 6 1\n", nullptr, {}, kBadArgc},
                 {"cvol -1 1\n", nullptr, {}, kBadArgc},
                 // Would be channel 1 if it wrapped instead of saturating.
                 {"cvol 4294967297 1\n", nullptr, {}, kBadArgc},
                 {"cvol 0 1\n", "setChannelGain", {"setChannelGain"}, "setMasterVolume failed\n"},
             });
}

TEST(SpeakerDelayTest, PassesTheMaskAndTheDelayNarrowedToFloat) {
    DspHarness dsp;
    expectArguments(dsp, "setSpeakerDelay",
                    {
                        {"delay 5 1.5\n", {32}, {1.5}},
                        {"delay 0 1e-3\n", {1}, {static_cast<double>(0.001f)}},
                        {"delay 1 abc\n", {2}, {0.0}},
                        {"delay 2 -2.25\r", {4}, {-2.25}},
                        {"delay 3 1e39\n", {8}, {HUGE_VAL}},
                    });
    EXPECT_EQ(-2.25f, dsp.service().state().speakerDelay[2]);
}

TEST(SpeakerDelayTest, FailurePaths) {
    DspHarness dsp;
    expectPaths(
        dsp,
        {
            {"delay 1\n", nullptr, {}, kBadArgc},
            {"delay 1 2 3\n", nullptr, {}, kBadArgc},
            {"delay 6 1\n", nullptr, {}, kBadArgc},
            {"delay -1 1\n", nullptr, {}, kBadArgc},
            {"delay 0 1\n", "setSpeakerDelay", {"setSpeakerDelay"}, "setSpeakerDelay failed\n"},
        });
}

// The record in offset order: mask, value5 (signed), value2, value3, value1,
// value4, value6.
Bytes filterRecord(uint32_t mask, int v1, int v2, int v3, int v4, int v5, int v6) {
    return Bytes().u32(mask).u16(v5).u16(v2).u16(v3).u16(v1).u16(v4).u16(v6);
}

TEST(FilterTest, StoresTheValuesOutOfArgumentOrder) {
    DspHarness dsp;
    expectRecords(dsp, "setFilter",
                  {
                      {"ftr 5 1 2 3 4 5 6\n", filterRecord(32, 1, 2, 3, 4, 5, 6).data()},
                      {"ftr 0 -6 2 3 4 -6 6\n", filterRecord(1, 65530, 2, 3, 4, 0xFFFA, 6).data()},
                      {"ftr 1 70000 -1 abc 0x20 32768 99999999999\n",
                       filterRecord(2, 4464, 65535, 0, 0, 0x8000, 0xFFFF).data()},
                  });
    const FilterParam stored = dsp.service().state().filter[0];
    EXPECT_EQ(-6, stored.value5);
    EXPECT_EQ(65530, stored.value1);
}

TEST(FilterTest, FailurePaths) {
    DspHarness dsp;
    expectPaths(dsp, {
                         {"ftr\n", nullptr, {}, kBadArgc},
                         {"ftr 0 1 2 3 4 5\n", nullptr, {}, kBadArgc},
                         {"ftr 0 1 2 3 4 5 6 7\n", nullptr, {}, kBadArgc},
                         {"ftr 6 1 2 3 4 5 6\n", nullptr, {}, kBadArgc},
                         {"ftr -1 1 2 3 4 5 6\n", nullptr, {}, kBadArgc},
                         {"ftr 0 1 2 3 4 5 6\n", "setFilter", {"setFilter"}, "setFilter failed\n"},
                     });
}

TEST(LoudnessTest, StoresTheLowSixteenBitsInArgumentOrder) {
    DspHarness dsp;
    expectRecords(dsp, "setLoudness",
                  {
                      {"loud 1 2 3\n", Bytes().u16(1).u16(2).u16(3).data()},
                      {"loud -1 70000 abc\n", Bytes().u16(65535).u16(4464).u16(0).data()},
                  });
    EXPECT_EQ(4464, dsp.service().state().loudness.value2);
}

TEST(LoudnessTest, FailurePaths) {
    DspHarness dsp;
    expectPaths(dsp, {
                         {"loud\n", nullptr, {}, kBadArgc},
                         {"loud 1 2\n", nullptr, {}, kBadArgc},
                         {"loud 1 2 3 4\n", nullptr, {}, kBadArgc},
                         {"loud 1 2 3\n", "setLoudness", {"setLoudness"}, "setLoudness failed\n"},
                     });
}

TEST(TestSignalTest, SwitchesThePatternOnAllSpeakers) {
    DspHarness dsp;
    expectArguments(dsp, "setMainAudioSpeakerTestPattern",
                    {
                        {"sig 1\n", {0xFFFF, 3}, {}},
                        {"sig 0\n", {0xFFFF, 0}, {}},
                        {"sig off\n", {0xFFFF, 0}, {}},
                        {"sig 01\n", {0xFFFF, 3}, {}},
                        {"sig 1x\n", {0xFFFF, 3}, {}},
                    });
    EXPECT_EQ(3u, dsp.service().state().testPattern);
}

TEST(TestSignalTest, FailurePaths) {
    DspHarness dsp;
    const char kFailed[] = "setMainAudioSpeakerTestPattern failed\n";
    expectPaths(dsp, {
                         {"sig\n", nullptr, {}, kBadArgc},
                         {"sig 1 1\n", nullptr, {}, kBadArgc},
                         {"sig 2\n", nullptr, {}, kBadParameter},
                         {"sig -1\n", nullptr, {}, kBadParameter},
                         {"sig 4294967297\n", nullptr, {}, kBadParameter},
                         {"sig 1\n",
                          "setMainAudioSpeakerTestPattern",
                          {"setMainAudioSpeakerTestPattern"},
                          kFailed},
                     });
}

TEST(SpeakerLayoutTest, PassesTheOutputMaskOfTheLayout) {
    DspHarness dsp;
    expectArguments(dsp, "setSpeakerOutPut",
                    {
                        {"spk 0\n", {0x0F}, {}},
                        {"spk 2\n", {0x03}, {}},
                        {"spk abc\n", {0x0F}, {}},
                        {"spk 1x\n", {0x2F}, {}},
                    });
    EXPECT_EQ(0x2Fu, dsp.service().state().speakerOutput);
}

TEST(SpeakerLayoutTest, FailurePaths) {
    DspHarness dsp;
    expectPaths(
        dsp,
        {
            {"spk\n", nullptr, {}, kBadArgc},
            {"spk 1 1\n", nullptr, {}, kBadArgc},
            {"spk 3\n", nullptr, {}, kBadParameter},
            {"spk -1\n", nullptr, {}, kBadParameter},
            {"spk 0\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 4.0 failed\n"},
            {"spk 1\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 4.1 failed\n"},
            {"spk 2\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 2.0 failed\n"},
        });
    EXPECT_EQ(0x0Fu, dsp.service().state().speakerOutput);  // refused writes change nothing
}

}  // namespace
