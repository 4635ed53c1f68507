// Cases of the "dsp" items that no peer can reach: arguments that no report
// shows, service answers the simulated service never gives, a group without
// a frame sink. (Reports cut at every reply size are checked with dspctl's
// decoders.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "BandValueEdit.h"
#include "DspHarness.h"
#include "MpBinFrame.h"

namespace {

TEST(ItemSeamTest, TestPatternGoesToEveryChannel) {
    DspHarness dsp;
    for (const auto& c : {std::make_pair("sig 1\n", 3u), std::make_pair("sig 0\n", 0u)}) {
        EXPECT_EQ(kOkReply, dsp.run(c.first).bytes);
        EXPECT_EQ(0xFFFFu, dsp.service().state().testPatternChannels) << c.first;
        EXPECT_EQ(c.second, dsp.service().state().testPattern) << c.first;
    }
}

TEST(ItemSeamTest, UnknownSpeakerMaskIsReportedAsTheDefaultLayout) {
    DspHarness dsp;
    audiosim::State state = audiosim::State::defaults();
    state.speakerOutput = 0x3F;
    dsp.service().setState(state);
    EXPECT_EQ(0, dsp.run("sync\n").bytes.compare(0, 20, "dsp sync:A0101:vol:0"));
    EXPECT_TRUE(dsp.logged("WRN: unsupported speak output channel 3f.\n"));
}

TEST(ItemSeamTest, FrameWithoutSinkFails) {
    DspHarness dsp;
    EXPECT_EQ(kFailReply, dsp.run("getmp\n").bytes);
    EXPECT_TRUE(dsp.logged("ERR: no notify function\n"));
}

class MockAppSetting : public AudioAppSetting {
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

// A read that comes back with another channel mask must not redirect the
// write: the edit goes to the channel the line named.
TEST(ItemSeamTest, BandEditWritesBackToTheChannelItRead) {
    const BandField<EqualizerParam> fields[] = {
        {"gain", [](EqualizerParam& r, uint32_t b, const char*) { r.gain[b] = 1.0f; }}};
    const BandValueEdit<EqualizerParam> edit(
        8, &AudioAppSetting::getEqualizer, "getEqualizer failed\n", &AudioAppSetting::setEqualizer,
        "setEqualizer failed\n", fields);
    testing::StrictMock<MockAppSetting> service;
    EqualizerParam written{};
    EXPECT_CALL(service, getEqualizer(testing::_)).WillOnce([](EqualizerParam* p) {
        p->channelMask = 0x3F;
        p->q[0] = 9;
        return 0;
    });
    EXPECT_CALL(service, setEqualizer(testing::_))
        .WillOnce(testing::DoAll(testing::SaveArgPointee<0>(&written), testing::Return(0)));
    char gain[] = "gain", band[] = "2", value[] = "1", channel[] = "1";
    char* argv[] = {gain, band, value, channel};
    char out[8] = {};
    EXPECT_EQ(5, edit.exec(&service, argv, 4, out, sizeof out));
    EXPECT_EQ(2u, written.channelMask);
    EXPECT_EQ(9, written.q[0]);
    EXPECT_EQ(1.0f, written.gain[2]);
}

class MockToolSetting : public AudioToolSetting {
public:
    MOCK_METHOD(int, setMpBin, (const uint8_t*, uint32_t, int32_t), (override));
    MOCK_METHOD(int, getMpBin, (uint8_t*, int32_t*, int32_t), (override));
};

TEST(ItemSeamTest, FrameHeaderFollowsTheLengthAndOverlongLengthsAreRefused) {
    const struct {
        int32_t length;  // what the service reports
        int result;
        const char* header;
    } cases[] = {
        {296, 300, "\x00\x00\x01\x28"}, {2560, 2564, "\x00\x00\x0A\x00"},
        {0, 4, "\x00\x00\x00\x00"},     {2561, -1, "\xEE\xEE\xEE\xEE"},
        {-1, -1, "\xEE\xEE\xEE\xEE"},
    };
    for (const auto& c : cases) {
        audiosim::LogCapture log;
        MockToolSetting tool;
        uint8_t frame[kMpBinFrameCapacity];
        std::memset(frame, 0xEE, sizeof frame);
        EXPECT_CALL(tool, getMpBin(frame + 4, testing::_, 1))
            .WillOnce([&](uint8_t*, int32_t* length, int32_t) {
                EXPECT_EQ(296, *length);
                *length = c.length;
                return 0;
            });
        EXPECT_EQ(c.result, readMpBinFrame(tool, 1, frame)) << c.length;
        EXPECT_EQ(std::string(c.header, 4), std::string(reinterpret_cast<char*>(frame), 4));
        EXPECT_EQ(c.result < 0,
                  log.contains("ERR: bad MP.bin length(" + std::to_string(c.length) + ")\n"))
            << c.length;
    }
}

}  // namespace
