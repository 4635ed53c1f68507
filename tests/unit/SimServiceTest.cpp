// The simulated service where no line on the wire reaches it (the wire tables
// run every setting and every injected failure through the server): masks of
// several channels, bad masks and null pointers, what no report shows, the
// failing list, the call record and the log.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "AudioCreator.h"
#include "AudioPrint.h"
#include "SimService.h"

namespace audiosim {
namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes bytesOf(const T& v) {
    return Bytes(reinterpret_cast<const uint8_t*>(&v), reinterpret_cast<const uint8_t*>(&v + 1));
}

// `fill` bytes, or else a different byte in each place (unlike every default,
// so a field stored in the wrong place shows), padding included. In place, as
// a copy need not keep padding.
template <typename T>
T& fillIn(T& v, int fill = -1) {
    uint8_t* p = reinterpret_cast<uint8_t*>(&v);
    for (size_t i = 0; i < sizeof v; ++i) p[i] = static_cast<uint8_t>(fill < 0 ? 7 * i + 1 : fill);
    return v;
}

// Padding as the service keeps it: zero (and a get of a channel gain leaves it).
template <typename T>
void clearPadding(T&) {}
void clearPadding(ChannelGainParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(HandsfreeEQParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(BiquadParam& r) {
    for (BiquadBand& b : r.band) std::memset(reinterpret_cast<uint8_t*>(&b) + 6, 0, 2);
}

// A per-channel record: bad masks are refused, a refused get leaving the
// out-values as they were; a set stores every channel of its mask; a get
// reads the lowest channel of its mask and keeps the caller's mask.
template <typename T, typename Object>
void checkRecord(Object* o, int (Object::*set)(T*), int (Object::*get)(T*)) {
    T v, got, booted;
    fillIn(booted, 0).channelMask = 1;
    ASSERT_EQ(0, (o->*get)(&booted));
    for (uint32_t bad : {0u, 1u << kChannels, 0x41u, 0x80000000u}) {
        fillIn(v).channelMask = bad;
        fillIn(got, 0xA5).channelMask = bad;
        const Bytes before = bytesOf(got);
        EXPECT_EQ(-EINVAL, (o->*set)(&v)) << bad;
        EXPECT_EQ(-EINVAL, (o->*get)(&got)) << bad;
        EXPECT_EQ(before, bytesOf(got)) << "a refused get wrote, mask " << bad;
    }
    fillIn(v).channelMask = 0x2A;  // channels 1, 3 and 5
    ASSERT_EQ(0, (o->*set)(&v));
    clearPadding(v);
    for (uint32_t mask : {1u, 2u, 4u, 8u, 16u, 32u, 0x18u}) {  // 0x18 reads channel 3
        T& want = mask & 0x2A ? v : booted;
        want.channelMask = mask;
        fillIn(got, 0).channelMask = mask;
        EXPECT_EQ(0, (o->*get)(&got));
        EXPECT_EQ(bytesOf(want), bytesOf(got)) << "mask " << mask;
    }
}

// All refused with -EINVAL (in any order: none changes anything).
template <typename... Results>
void expectRefused(Results... results) {
    int i = 0;
    for (const int rc : {results...}) EXPECT_EQ(-EINVAL, rc) << "argument " << i++;
}

class SimServiceTest : public ::testing::Test {
protected:
    void SetUp() override { service.reset(); }

    Service& service = Service::instance();
    std::unique_ptr<AudioAppSetting> app{AudioCreator::createAudioAppSetting()};
    std::unique_ptr<AudioSourceSetting> source{AudioCreator::createAudioSourceSetting()};
    std::unique_ptr<AudioVolumeSetting> volume{AudioCreator::createAudioVolumeSetting()};
    std::unique_ptr<AudioToolSetting> tool{AudioCreator::createAudioToolSetting()};
};

// Also what no report shows: the test pattern, a stored record's own mask,
// the padding of a hands-free equalizer.
TEST_F(SimServiceTest, MasksNullPointersValuesOutOfRangeAndWhatNoReportShows) {
    AudioAppSetting* a = app.get();
    AudioVolumeSetting* v = volume.get();
    AudioToolSetting* t = tool.get();
    checkRecord(a, &AudioAppSetting::setFilter, &AudioAppSetting::getFilter);
    checkRecord(a, &AudioAppSetting::setBassTreble, &AudioAppSetting::getBassTreble);
    checkRecord(a, &AudioAppSetting::setEqualizer, &AudioAppSetting::getEqualizer);
    EXPECT_EQ(0x8u, service.state().equalizer[3].channelMask);
    checkRecord(a, &AudioAppSetting::setBiquad, &AudioAppSetting::getBiquad);
    checkRecord(v, &AudioVolumeSetting::setChannelGain, &AudioVolumeSetting::getChannelGain);

    HandsfreeEQParam hf{};
    hf.which = 2;
    float f = 0;
    int32_t length = 0;
    Bytes blob(kMpBinExtSize);
    expectRefused(a->setFilter(nullptr), a->getBiquad(nullptr), a->getSpeakerDelay(1, nullptr),
                  a->getDuplexOfAEC(nullptr), a->setNLPConfig(nullptr), a->getNLPConfig(nullptr),
                  a->setHandsfreeEQ(nullptr), a->getHandsfreeEQ(nullptr), a->setHandsfreeEQ(&hf),
                  a->getHandsfreeEQ(&hf), a->setLoudness(nullptr), a->getLoudness(nullptr),
                  v->setChannelGain(nullptr), v->getChannelGain(nullptr),
                  v->getAdcOpGain(0, nullptr, &f), v->getAdcPgaGain(0, &f, nullptr),
                  t->setMpBin(nullptr, kMpBinSize, 0), t->setMpBin(blob.data(), kMpBinSize, 1),
                  t->setMpBin(blob.data(), kMpBinExtSize, 0), t->getMpBin(nullptr, &length, 0),
                  t->getMpBin(blob.data(), nullptr, 0), t->getMpBin(blob.data(), &length, 2));

    ASSERT_EQ(0, source->setMainAudioSpeakerTestPattern(0x15, 3));
    EXPECT_EQ(0x15u, service.state().testPatternChannels);
    EXPECT_EQ(3u, service.state().testPattern);
    HandsfreeEQParam set, got;
    fillIn(set).which = kHandsfreeReq;
    fillIn(got, 0xA5).which = kHandsfreeReq;
    ASSERT_EQ(0, a->setHandsfreeEQ(&set));
    ASSERT_EQ(0, a->getHandsfreeEQ(&got));
    clearPadding(set);
    EXPECT_EQ(bytesOf(set), bytesOf(got));
}

// The failing list skips blanks and empty entries and reports unknown names.
// The record holds arguments as passed (a get's record as on entry), failing
// calls too. reset() restores the booted device, fails nothing and stops
// recording.
TEST_F(SimServiceTest, FailingListCallRecordAndReset) {
    std::vector<std::string> unknown;
    service.setFailingList(" setFilter , ,bogus,\tsetMasterVolume,", &unknown);
    service.setFailingList("bogus,getFilter", nullptr);
    EXPECT_EQ(std::vector<std::string>{"bogus"}, unknown);
    EXPECT_FALSE(service.setFailing("setNothing"));
    ASSERT_TRUE(service.setFailing("getFilter", false));
    EXPECT_FALSE(service.isFailing("getFilter"));
    EXPECT_TRUE(service.isFailing("setFilter"));

    FilterParam filter;
    fillIn(filter).channelMask = 0x4;
    const Bytes filterBytes = bytesOf(filter), blob(kMpBinSize, 0x5C);
    Bytes buffer(kMpBinExtSize);
    int32_t length = 1234;
    service.recordCalls(true);
    EXPECT_EQ(0, app->getFilter(&filter));
    volume->setAdcOpGain(2, 0.5f, -1.0f);
    tool->setMpBin(blob.data(), kMpBinSize, 0);
    tool->getMpBin(buffer.data(), &length, 1);
    EXPECT_NE(0, volume->setMasterVolume(99));
    const std::vector<Call> expected = {
        {"getFilter", {}, {}, filterBytes},      {"setAdcOpGain", {2}, {0.5, -1.0}, {}},
        {"setMpBin", {kMpBinSize, 0}, {}, blob}, {"getMpBin", {1234, 1}, {}, {}},
        {"setMasterVolume", {99}, {}, {}},
    };
    const std::vector<Call> calls = service.calls();
    ASSERT_EQ(expected.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& e = expected[i];
        EXPECT_EQ(std::tie(e.op, e.ints, e.reals, e.bytes),
                  std::tie(calls[i].op, calls[i].ints, calls[i].reals, calls[i].bytes));
    }
    EXPECT_EQ(0x4u, calls[0].recordAs<uint32_t>());  // the channel mask leads
    EXPECT_EQ("setMasterVolume", service.callNames().at(4));
    service.clearCalls();
    EXPECT_TRUE(service.callNames().empty());

    ASSERT_EQ(0, source->setSpeakerOutPut(0x3F));
    service.reset();
    EXPECT_FALSE(service.isFailing("setMasterVolume"));
    EXPECT_EQ(0x0Fu, service.state().speakerOutput);  // the "4.0" layout
    EXPECT_EQ(30, service.state().masterVolume);
    ASSERT_EQ(0, source->setSpeakerOutPut(0x3F));
    EXPECT_TRUE(service.calls().empty()) << "reset turns recording off";
}

// The prefix is formatted without printf where it can be and with it where it
// cannot; either way as printf would.
TEST(AudioPrintTest, PrefixesAreFormattedAsPrintfWouldAndLongLinesAreCut) {
    EXPECT_EQ(8, audioPrint("plain ", "t", "M", "f", 1, "m\n"));  // to standard error: written
    LogCapture capture;
    audioPrint("<4>[%s %s %s %d] BUG: ", "t", "M", "f", -17, "m %d\n", 5);
    audioPrint("%s%s%s%d", "t", "M", "f", INT_MIN, "m\n");
    audioPrint("plain ", "t", "M", "f", 1, "m\n");
    audioPrint("%s %s %s %05d ", "t", "M", "f", 42, "m\n");
    audioPrint("%%", "t", "M", "f", 1, "m\n");    // printf's, one character
    audioPrint("%.0s", "t", "M", "f", 1, "m\n");  // printf's, none
    audioPrint("<1>[%s %s %s %d] INF: ", nullptr, "M", "f", 1, "%s\n",
               std::string(6000, 'x').c_str());
    audioPrint("<3>[%s|%s|%s] ", "t", nullptr, nullptr, 0, "%s", "");
    // A prefix one byte longer than a line (cut by printf's fallback; a
    // sanitizer sees a write past the line), and a line number that does not
    // fit after a long prefix.
    const std::string full(4096, 'x'), most(4090, 'x');
    audioPrint("%s", full.c_str(), "", "", 0, nullptr);
    audioPrint("%s%s%s%d", most.c_str(), "", "", 1234567, "m\n");
    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(10u, lines.size());
    const std::string cut = "<1>[ M f 1] INF: " + std::string(4095 - 18, 'x') + "\n";
    EXPECT_EQ((std::vector<std::string>{"<4>[t M f -17] BUG: m 5\n", "tMf-2147483648m\n",
                                        "plain m\n", "t M f 00042 m\n", "%m\n", "m\n", cut,
                                        "<3>[t||] ", full.substr(0, 4094) + "\n", most + "1234\n"}),
              lines);
    { LogCapture inner; }  // captures nest: one inside keeps the lines
    EXPECT_TRUE(capture.contains("00042 m"));
    EXPECT_FALSE(capture.contains("m 6"));
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

}  // namespace
}  // namespace audiosim
