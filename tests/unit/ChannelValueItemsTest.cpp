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

const char kBadArgc[] = "bad argc number\n";
const char kBadParameter[] = "bad parameter\n";

std::vector<uint8_t> gainRecord(uint32_t mask, uint32_t gain) {
    return Bytes().u32(mask).u8(gain).zeros(3).data();
}

// The record in offset order: mask, value5 (signed), value2, value3, value1,
// value4, value6.
std::vector<uint8_t> filterRecord(uint32_t mask, int v1, int v2, int v3, int v4, int v5, int v6) {
    return Bytes().u32(mask).u16(v5).u16(v2).u16(v3).u16(v1).u16(v4).u16(v6).data();
}

TEST(ChannelValueItemsTest, EachItemHandsOverItsValuesNarrowedAfterSaturation) {
    DspHarness dsp;
    expectCalls(dsp, "setChannelGain",
                {
                    {"cvol 0 300\n", gainRecord(1, 44)},
                    {"cvol 2 -1\n", gainRecord(4, 255)},
                    {"cvol x 7\n", gainRecord(1, 7)},  // no digits: channel 0
                    {"cvol 4 99999999999\n", gainRecord(16, 255)},
                });
    expectCalls(dsp, "setSpeakerDelay",
                {
                    {"delay 5 1.5\n", {}, {32}, {1.5}},
                    {"delay 0 1e-3\n", {}, {1}, {static_cast<double>(0.001f)}},
                    {"delay 3 1e39\r", {}, {8}, {HUGE_VAL}},
                });
    expectCalls(dsp, "setFilter",
                {
                    {"ftr 5 1 2 3 4 5 6\n", filterRecord(32, 1, 2, 3, 4, 5, 6)},
                    {"ftr 1 70000 -1 abc 0x20 -6 99999999999\n",
                     filterRecord(2, 4464, 65535, 0, 0, 0xFFFA, 0xFFFF)},
                });
    expectCalls(dsp, "setLoudness",
                {
                    {"loud 1 2 3\n", Bytes().u16(1).u16(2).u16(3).data()},
                    {"loud -1 70000 abc\n", Bytes().u16(65535).u16(4464).u16(0).data()},
                });
    expectCalls(dsp, "setMainAudioSpeakerTestPattern",
                {
                    {"sig 1\n", {}, {0xFFFF, 3}},
                    {"sig 0\n", {}, {0xFFFF, 0}},
                    {"sig 1x\n", {}, {0xFFFF, 3}},
                });
    expectCalls(dsp, "setSpeakerOutPut",
                {
                    {"spk 0\n", {}, {0x0F}},
                    {"spk 1x\n", {}, {0x2F}},
                    {"spk 2\n", {}, {0x03}},
                });
}

TEST(ChannelValueItemsTest, FailurePathsInCheckOrder) {
    DspHarness dsp;
    const char kSigFailed[] = "setMainAudioSpeakerTestPattern failed\n";
    expectPaths(
        dsp,
        {
            {"cvol 1\n", nullptr, {}, kBadArgc},
            {"cvol 1 2 3\n", nullptr, {}, kBadArgc},
            {"cvol 6 1\n", nullptr, {}, kBadArgc},
            {"cvol -1 1\n", nullptr, {}, kBadArgc},
            // Would be channel 1 if it wrapped instead of saturating.
            {"cvol 4294967297 1\n", nullptr, {}, kBadArgc},
            {"cvol 0 1\n", "setChannelGain", {"setChannelGain"}, "setMasterVolume failed\n"},
            {"delay 1\n", nullptr, {}, kBadArgc},
            {"delay 6 1\n", nullptr, {}, kBadArgc},
            {"delay 0 1\n", "setSpeakerDelay", {"setSpeakerDelay"}, "setSpeakerDelay failed\n"},
            {"ftr 0 1 2 3 4 5\n", nullptr, {}, kBadArgc},
            {"ftr 6 1 2 3 4 5 6\n", nullptr, {}, kBadArgc},
            {"ftr 0 1 2 3 4 5 6\n", "setFilter", {"setFilter"}, "setFilter failed\n"},
            {"loud 1 2\n", nullptr, {}, kBadArgc},
            {"loud 1 2 3\n", "setLoudness", {"setLoudness"}, "setLoudness failed\n"},
            {"sig\n", nullptr, {}, kBadArgc},
            {"sig 2\n", nullptr, {}, kBadParameter},
            {"sig -1\n", nullptr, {}, kBadParameter},
            {"sig 4294967297\n", nullptr, {}, kBadParameter},
            {"sig 1\n",
             "setMainAudioSpeakerTestPattern",
             {"setMainAudioSpeakerTestPattern"},
             kSigFailed},
            {"spk 1 1\n", nullptr, {}, kBadArgc},
            {"spk 3\n", nullptr, {}, kBadParameter},
            {"spk -1\n", nullptr, {}, kBadParameter},
            {"spk 0\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 4.0 failed\n"},
            {"spk 1\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 4.1 failed\n"},
            {"spk 2\n", "setSpeakerOutPut", {"setSpeakerOutPut"}, "setSpeakerOutPut 2.0 failed\n"},
        });
}

}  // namespace
