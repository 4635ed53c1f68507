// "eq", "bq" and "bteq": items that change one value of a channel's record by
// read-modify-write ("bq" also writes a whole bank), driven through the "dsp"
// group on the simulated service.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "BandValueEdit.h"
#include "DspHarness.h"
#include "ItemTables.h"

namespace {

using audiosim::State;
const char kBadArgc[] = "bad argc number\n";

// Every value of every channel differs from the defaults and from its
// neighbours, so a value that is not written back as read shows.
State distinctiveState() {
    State s = State::defaults();
    for (int ch = 0; ch < audiosim::kChannels; ++ch) {
        EqualizerParam& eq = s.equalizer[ch];
        for (int b = 0; b < 8; ++b) {
            eq.cf[b] = static_cast<uint16_t>(100 * ch + b + 1);
            eq.gain[b] = ch + b * 0.25f;
            eq.q[b] = static_cast<uint16_t>(10 * ch + b);
        }
        BassTrebleParam& bt = s.bassTreble[ch];
        bt.cf[0] = static_cast<uint16_t>(ch + 1);
        bt.cf[1] = static_cast<uint16_t>(ch + 2);
        bt.gain[0] = ch * 0.5f;
        bt.gain[1] = -ch * 0.5f;
        for (int b = 0; b < 20; ++b) {
            BiquadBand& band = s.biquad[ch].band[b];
            band.type = b;
            band.cf = static_cast<uint16_t>(10 * ch + b);
            band.gain = b * 0.5f;
            band.q = ch + 0.125f;
            band.method = ch;
            band.slope = -b;
            band.phase = b * ch;
        }
    }
    return s;
}

// A successful edit: the bytes its one value must take at `offset` of the
// record written back; every other byte goes back as read.
struct EditCase {
    const char* text;
    int channel;
    size_t offset;
    Bytes at;
};

template <typename Record, size_t N>
void expectEdits(const char* getOp, const char* setOp, Record (State::*records)[N],
                 const std::vector<EditCase>& cases) {
    DspHarness dsp;
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.text);
        dsp.service().setState(distinctiveState());
        std::vector<uint8_t> expected = bytesOf((dsp.service().state().*records)[c.channel]);
        ASSERT_LE(c.offset + c.at.data().size(), expected.size());
        std::copy(c.at.data().begin(), c.at.data().end(), expected.begin() + c.offset);

        EXPECT_EQ(kOkReply, dsp.run(c.text).bytes);
        const std::vector<audiosim::Call> calls = dsp.callRecords();
        ASSERT_EQ(2u, calls.size());
        EXPECT_EQ(getOp, calls[0].op);
        EXPECT_EQ(setOp, calls[1].op);
        // The read names the channel in an otherwise zeroed record.
        EXPECT_EQ(Bytes().u32(1u << c.channel).zeros(sizeof(Record) - 4).data(), calls[0].bytes);
        EXPECT_EQ(expected, calls[1].bytes);
    }
}

TEST(BandValueEditTest, ChangesOneValueAndWritesTheRestBackAsRead) {
    expectEdits("getEqualizer", "setEqualizer", &State::equalizer,
                {
                    {"eq gain 3 -6.5 1\n", 1, 32, Bytes().f32(-6.5f)},
                    {"eq cf 0 1000 2\n", 2, 4, Bytes().u16(1000)},
                    {"eq q 7 70000 5\n", 5, 66, Bytes().u16(4464)},
                    {"eq q 2 -1 0\n", 0, 56, Bytes().u16(65535)},
                    {"eq cf 7 5 3\r", 3, 18, Bytes().u16(5)},
                });
    expectEdits("getBassTreble", "setBassTreble", &State::bassTreble,
                {
                    {"bteq gain 1 2.5 0\n", 0, 12, Bytes().f32(2.5f)},
                    {"bteq cf 0 70000 3\n", 3, 4, Bytes().u16(4464)},
                    {"bteq cf 1 -1 5\n", 5, 6, Bytes().u16(65535)},
                });
    expectEdits("getBiquad", "setBiquad", &State::biquad,
                {
                    {"bq gain 19 -3.5 5\n", 5, 544, Bytes().f32(-3.5f)},
                    // The padding after cf stays zero.
                    {"bq cf 0 70000 0\n", 0, 8, Bytes().u16(4464).zeros(2)},
                    {"bq q 2 0.1 1\n", 1, 72, Bytes().f32(0.1f)},
                    {"bq type 3 0x10 2\n", 2, 88, Bytes().u32(0)},
                    {"bq method 4 -7 3\n", 3, 132, Bytes().u32(static_cast<uint32_t>(-7))},
                    {"bq slope 5 12 4\n", 4, 164, Bytes().u32(12)},
                    {"bq phase 18 99999999999 2\n", 2, 532, Bytes().u32(INT32_MAX)},
                });
}

// "bq channel <channel>" and `values` value words: band b carries type b-5,
// cf 100*b (70000 in band 3, -1 in band 4), gain b/2-3, q (b+1)/8, method b,
// slope -b and phase 1000*b. *expected gets the record the line must write.
std::string wholeChannelLine(const std::string& channel, int values, Bytes* expected = nullptr) {
    std::string line = "bq channel " + channel;
    std::vector<std::string> words;
    for (int b = 0; b < 20; ++b) {
        const char* cfWord = b == 3 ? "70000" : b == 4 ? "-1" : nullptr;
        const uint32_t cf = b == 3 ? 4464 : b == 4 ? 65535 : 100 * b;
        const float gain = b * 0.5f - 3.0f;
        const float q = (b + 1) / 8.0f;
        for (const std::string& w :
             {std::to_string(b - 5), cfWord ? std::string(cfWord) : std::to_string(cf),
              std::to_string(gain), std::to_string(q), std::to_string(b), std::to_string(-b),
              std::to_string(1000 * b)}) {
            words.push_back(w);
        }
        if (expected != nullptr) {
            expected->u32(static_cast<uint32_t>(b - 5)).u16(cf).zeros(2).f32(gain).f32(q);
            expected->u32(b).u32(static_cast<uint32_t>(-b)).u32(1000 * b);
        }
    }
    words.resize(static_cast<size_t>(values), "1");
    for (const std::string& w : words) {
        line += " " + w;
    }
    return line + "\n";
}

TEST(BiquadTest, WholeChannelWritesAllTwentyBandsWithoutReading) {
    DspHarness dsp;
    Bytes expected;
    expected.u32(4);
    const std::string line = wholeChannelLine("2", 140, &expected);
    ASSERT_EQ(564u, expected.data().size());
    EXPECT_EQ(kOkReply, dsp.run(line).bytes);
    const std::vector<audiosim::Call> calls = dsp.callRecords();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("setBiquad", calls[0].op);
    EXPECT_EQ(expected.data(), calls[0].bytes);
}

TEST(BandValueEditTest, FailurePathsInCheckOrder) {
    DspHarness dsp;
    const std::vector<std::string> eq = {"getEqualizer"}, bt = {"getBassTreble"},
                                   bq = {"getBiquad"};
    const std::string w0 = wholeChannelLine("0", 140);
    std::string capital = w0;
    capital[3] = 'C';  // "Channel" is no form keyword: the single-field form counts 142 words
    expectPaths(
        dsp,
        {
            {"eq gain 3 1 0 0\n", nullptr, {}, kBadArgc},
            {"eq gain 3 1 -1\n", nullptr, {}, kBadArgc},
            {"eq Gain 9 1 6\n", nullptr, {}, kBadArgc},  // channel before band
            {"eq gain 8 1 0\n", nullptr, {}, "not support band(8)\n"},
            {"eq gain -1 1 0\n", nullptr, {}, "not support band(-1)\n"},
            {"eq Gain 9 1 0\n", nullptr, {}, "not support band(9)\n"},  // band before read
            {"eq Gain 1 1 0\n", "getEqualizer", eq, "getEqualizer failed\n"},
            {"eq Gain 1 1 0\n", "setEqualizer", eq, "not support function(Gain)\n"},
            {"eq gain 1 1 0\n",
             "setEqualizer",
             {"getEqualizer", "setEqualizer"},
             "setEqualizer failed\n"},
            {"bteq gain 1 1\n", nullptr, {}, kBadArgc},
            {"bteq gain 1 1 6\n", nullptr, {}, kBadArgc},
            {"bteq gain 2 1 0\n", nullptr, {}, "not support band(2)\n"},
            {"bteq q 0 1 0\n", "getBassTreble", bt, "getBassTreble failed\n"},
            {"bteq q 0 1 0\n", nullptr, bt, "not support function(q)\n"},
            {"bteq cf 0 1 0\n",
             "setBassTreble",
             {"getBassTreble", "setBassTreble"},
             "setEqualizer failed\n"},
            {"bq\n", nullptr, {}, kBadArgc},
            {"bq channel 1 2 3\n", nullptr, {}, kBadArgc},  // the form decides first
            {wholeChannelLine("0", 139), nullptr, {}, kBadArgc},
            {wholeChannelLine("0", 141), nullptr, {}, kBadArgc},
            {wholeChannelLine("6", 140), nullptr, {}, kBadArgc},
            {capital, nullptr, {}, kBadArgc},
            {w0, "setBiquad", {"setBiquad"}, "setEqualizer failed\n"},
            {"bq gain 1 1 6\n", nullptr, {}, kBadArgc},
            {"bq gain 20 1 0\n", nullptr, {}, "not support band(20)\n"},
            {"bq freq 0 1 0\n", "getBiquad", bq, "getEqualizer failed\n"},
            {"bq freq 0 1 0\n", nullptr, bq, "not support function(freq)\n"},
            {"bq gain 0 1 0\n", "setBiquad", {"getBiquad", "setBiquad"}, "setEqualizer failed\n"},
        });
}

// A service whose reads return another channel mask than they were given.
class MaskChangingAppSetting : public AudioAppSetting {
public:
    MOCK_METHOD(int, setFilter, (FilterParam*), (override));
    MOCK_METHOD(int, getFilter, (FilterParam*), (override));
    MOCK_METHOD(int, setBassTreble, (BassTrebleParam*), (override));
    MOCK_METHOD(int, getBassTreble, (BassTrebleParam*), (override));
    MOCK_METHOD(int, setEqualizer, (EqualizerParam*), (override));
    MOCK_METHOD(int, getEqualizer, (EqualizerParam*), (override));
    MOCK_METHOD(int, setSpeakerDelay, (uint32_t, float), (override));
    MOCK_METHOD(int, getSpeakerDelay, (uint32_t, float*), (override));
    MOCK_METHOD(int, setBiquad, (BiquadParam*), (override));
    MOCK_METHOD(int, getBiquad, (BiquadParam*), (override));
    MOCK_METHOD(int, setDuplexOfAEC, (int32_t), (override));
    MOCK_METHOD(int, getDuplexOfAEC, (int32_t*), (override));
    MOCK_METHOD(int, setNRAttenuation, (int32_t), (override));
    MOCK_METHOD(int, getNRAttenuation, (int32_t*), (override));
    MOCK_METHOD(int, setNLPConfig, (NLPConfigParam*), (override));
    MOCK_METHOD(int, getNLPConfig, (NLPConfigParam*), (override));
    MOCK_METHOD(int, setHandsfreeEQ, (HandsfreeEQParam*), (override));
    MOCK_METHOD(int, getHandsfreeEQ, (HandsfreeEQParam*), (override));
    MOCK_METHOD(int, setLoudness, (LoudnessParam*), (override));
    MOCK_METHOD(int, getLoudness, (LoudnessParam*), (override));
};

TEST(BandValueEditTest, WritesBackToTheChannelItRead) {
    const BandField<EqualizerParam> fields[] = {
        {"gain", [](EqualizerParam& r, uint32_t b, const char*) { r.gain[b] = 1.0f; }}};
    const BandValueEdit<EqualizerParam> edit(
        8, &AudioAppSetting::getEqualizer, "getEqualizer failed\n", &AudioAppSetting::setEqualizer,
        "setEqualizer failed\n", fields);
    testing::StrictMock<MaskChangingAppSetting> service;
    EqualizerParam written{};
    EXPECT_CALL(service, getEqualizer(testing::_)).WillOnce([](EqualizerParam* p) {
        p->channelMask = 0x3F;
        p->q[0] = 9;
        return 0;
    });
    EXPECT_CALL(service, setEqualizer(testing::_)).WillOnce([&](EqualizerParam* p) {
        written = *p;
        return 0;
    });
    char gain[] = "gain", band[] = "2", value[] = "1", channel[] = "1";
    char* argv[] = {gain, band, value, channel};
    char out[8] = {};
    EXPECT_EQ(5, edit.exec(&service, argv, 4, out, sizeof out));
    EXPECT_EQ(2u, written.channelMask);
    EXPECT_EQ(9, written.q[0]);
    EXPECT_EQ(1.0f, written.gain[2]);
}

}  // namespace
