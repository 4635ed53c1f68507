// The simulated service where no line on the wire reaches it (the wire tables
// run every setting and every injected failure through the server): masks of
// several channels, bad masks and null pointers, what no report shows, the
// failing list, the call record and the log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "AudioCreator.h"
#include "AudioPrint.h"
#include "SimService.h"

namespace audiosim {
namespace {

using Bytes = std::vector<uint8_t>;

struct Settings {
    std::unique_ptr<AudioAppSetting> app{AudioCreator::createAudioAppSetting()};
    std::unique_ptr<AudioSourceSetting> source{AudioCreator::createAudioSourceSetting()};
    std::unique_ptr<AudioVolumeSetting> volume{AudioCreator::createAudioVolumeSetting()};
    std::unique_ptr<AudioToolSetting> tool{AudioCreator::createAudioToolSetting()};
};

template <typename T>
Bytes bytesOf(const T& v) {
    return Bytes(reinterpret_cast<const uint8_t*>(&v), reinterpret_cast<const uint8_t*>(&v + 1));
}

// Padding as the service keeps it: zero (and a get of a channel gain leaves it).
template <typename T>
void clearPadding(T&) {}
void clearPadding(ChannelGainParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(HandsfreeEQParam& r) { std::memset(reinterpret_cast<uint8_t*>(&r) + 5, 0, 3); }
void clearPadding(BiquadParam& r) {
    for (BiquadBand& b : r.band) std::memset(reinterpret_cast<uint8_t*>(&b) + 6, 0, 2);
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

// A per-channel setting: set(mask) stores value(mask) on each channel of the
// mask; get(mask, fill) reads into out-values of `fill` bytes, which a refused
// get must leave as they were.
struct Kind {
    const char* name;
    std::function<int(uint32_t mask)> set;
    std::function<int(uint32_t mask, uint8_t fill, Bytes* got)> get;
    std::function<Bytes(uint32_t mask)> value;
};

template <typename T, typename Object>
Kind record(const char* name, Object* object, int (Object::*set)(T*), int (Object::*get)(T*)) {
    return {name,
            [=](uint32_t mask) {
                T v;
                fillIn(v).channelMask = mask;
                return (object->*set)(&v);
            },
            [=](uint32_t mask, uint8_t fill, Bytes* got) {
                T v;
                fillIn(v, fill).channelMask = mask;
                const Bytes before = bytesOf(v);
                const int rc = (object->*get)(&v);
                *got = bytesOf(v);
                EXPECT_TRUE(rc == 0 || before == *got) << "out-values written";
                return rc;
            },
            [](uint32_t mask) {
                T v;
                fillIn(v).channelMask = mask;
                clearPadding(v);
                return bytesOf(v);
            }};
}

class SimServiceTest : public ::testing::Test {
protected:
    void SetUp() override { service.reset(); }
    void TearDown() override { service.reset(); }

    Service& service = Service::instance();
    Settings s;
};

TEST_F(SimServiceTest, SetsStoreEveryChannelOfTheMaskGetsReadTheLowestBadMasksAreRefused) {
    AudioAppSetting* app = s.app.get();
    const std::vector<Kind> kinds = {
        record("Filter", app, &AudioAppSetting::setFilter, &AudioAppSetting::getFilter),
        record("BassTreble", app, &AudioAppSetting::setBassTreble, &AudioAppSetting::getBassTreble),
        record("Equalizer", app, &AudioAppSetting::setEqualizer, &AudioAppSetting::getEqualizer),
        record("Biquad", app, &AudioAppSetting::setBiquad, &AudioAppSetting::getBiquad),
        record("ChannelGain", s.volume.get(), &AudioVolumeSetting::setChannelGain,
               &AudioVolumeSetting::getChannelGain),
        {"SpeakerDelay", [app](uint32_t mask) { return app->setSpeakerDelay(mask, 2.5f); },
         [app](uint32_t mask, uint8_t fill, Bytes* got) {
             float v;
             const Bytes before = bytesOf(fillIn(v, fill));
             const int rc = app->getSpeakerDelay(mask, &v);
             *got = bytesOf(v);
             EXPECT_TRUE(rc == 0 || before == *got) << "out-values written";
             return rc;
         },
         [](uint32_t) { return bytesOf(2.5f); }},
    };
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        service.reset();
        std::vector<Bytes> want(kChannels);
        for (int ch = 0; ch < kChannels; ++ch) ASSERT_EQ(0, k.get(1u << ch, 0, &want[ch]));
        ASSERT_NE(k.value(2), want[1]) << "the defaults already hold the value";
        ASSERT_EQ(0, k.set(0x2A));  // channels 1, 3 and 5
        for (int ch = 1; ch < kChannels; ch += 2) want[ch] = k.value(1u << ch);
        Bytes got;
        for (uint32_t bad : {0u, 1u << kChannels, 0x41u, 0x80000000u}) {
            EXPECT_EQ(-EINVAL, k.set(bad)) << bad;
            EXPECT_EQ(-EINVAL, k.get(bad, 0xA5, &got)) << bad;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            EXPECT_EQ(0, k.get(1u << ch, 0, &got));
            EXPECT_EQ(want[ch], got) << "channel " << ch;
        }
        EXPECT_EQ(0, k.get(0x18, 0, &got));  // channel 3 is read, the caller's mask stays
        EXPECT_EQ(k.value(0x18), got);
    }
}

// What no report shows: the test pattern, the mask a stored record keeps, the
// padding of a hands-free equalizer.
TEST_F(SimServiceTest, WhatNoReportShowsIsStored) {
    ASSERT_EQ(0, s.source->setMainAudioSpeakerTestPattern(0x15, 3));
    EXPECT_EQ(0x15u, service.state().testPatternChannels);
    EXPECT_EQ(3u, service.state().testPattern);
    EqualizerParam eq;
    fillIn(eq).channelMask = 0x28;
    ASSERT_EQ(0, s.app->setEqualizer(&eq));
    EXPECT_EQ(0x8u, service.state().equalizer[3].channelMask);
    HandsfreeEQParam set, got;
    fillIn(set).which = kHandsfreeReq;
    fillIn(got, 0xA5).which = kHandsfreeReq;
    ASSERT_EQ(0, s.app->setHandsfreeEQ(&set));
    ASSERT_EQ(0, s.app->getHandsfreeEQ(&got));
    clearPadding(set);
    EXPECT_EQ(bytesOf(set), bytesOf(got));
}

TEST_F(SimServiceTest, NullPointersAndValuesOutOfRangeAreRefused) {
    HandsfreeEQParam hf{};
    hf.which = 2;
    float f = 0;
    int32_t length = 0;
    Bytes blob(kMpBinExtSize);
    const std::vector<std::pair<const char*, std::function<int()>>> cases = {
        {"setFilter", [&] { return s.app->setFilter(nullptr); }},
        {"getBiquad", [&] { return s.app->getBiquad(nullptr); }},
        {"getSpeakerDelay", [&] { return s.app->getSpeakerDelay(1, nullptr); }},
        {"getDuplexOfAEC", [&] { return s.app->getDuplexOfAEC(nullptr); }},
        {"setNLPConfig", [&] { return s.app->setNLPConfig(nullptr); }},
        {"getNLPConfig", [&] { return s.app->getNLPConfig(nullptr); }},
        {"setHandsfreeEQ", [&] { return s.app->setHandsfreeEQ(nullptr); }},
        {"getHandsfreeEQ", [&] { return s.app->getHandsfreeEQ(nullptr); }},
        {"setHandsfreeEQ 2", [&] { return s.app->setHandsfreeEQ(&hf); }},
        {"getHandsfreeEQ 2", [&] { return s.app->getHandsfreeEQ(&hf); }},
        {"setLoudness", [&] { return s.app->setLoudness(nullptr); }},
        {"getLoudness", [&] { return s.app->getLoudness(nullptr); }},
        {"setChannelGain", [&] { return s.volume->setChannelGain(nullptr); }},
        {"getChannelGain", [&] { return s.volume->getChannelGain(nullptr); }},
        {"getAdcOpGain", [&] { return s.volume->getAdcOpGain(0, nullptr, &f); }},
        {"getAdcPgaGain", [&] { return s.volume->getAdcPgaGain(0, &f, nullptr); }},
        {"setMpBin", [&] { return s.tool->setMpBin(nullptr, kMpBinSize, 0); }},
        {"setMpBin short as ext", [&] { return s.tool->setMpBin(blob.data(), kMpBinSize, 1); }},
        {"setMpBin ext as short", [&] { return s.tool->setMpBin(blob.data(), kMpBinExtSize, 0); }},
        {"getMpBin data", [&] { return s.tool->getMpBin(nullptr, &length, 0); }},
        {"getMpBin length", [&] { return s.tool->getMpBin(blob.data(), nullptr, 0); }},
        {"getMpBin kind 2", [&] { return s.tool->getMpBin(blob.data(), &length, 2); }},
    };
    for (const auto& c : cases) EXPECT_EQ(-EINVAL, c.second()) << c.first;
}

TEST_F(SimServiceTest, FailingListSkipsBlanksAndEmptyEntriesAndReportsUnknownNames) {
    EXPECT_FALSE(service.setFailing("setNothing"));
    std::vector<std::string> unknown;
    service.setFailingList(" setFilter , ,bogus,\tgetMasterVolume,", &unknown);
    EXPECT_EQ(std::vector<std::string>{"bogus"}, unknown);
    EXPECT_TRUE(service.isFailing("setFilter"));
    EXPECT_TRUE(service.isFailing("getMasterVolume"));
    EXPECT_FALSE(service.isFailing("getFilter"));
    service.setFailingList("bogus,getFilter", nullptr);
    EXPECT_TRUE(service.isFailing("getFilter"));
    ASSERT_TRUE(service.setFailing("setFilter", false));
    EXPECT_FALSE(service.isFailing("setFilter"));
    EXPECT_TRUE(service.isFailing("getMasterVolume"));
}

// The record holds arguments as passed (a get's record as on entry), failing
// calls too; reset() restores the booted device and stops recording.
TEST_F(SimServiceTest, CallRecordAndReset) {
    EqualizerParam eq;
    FilterParam filter;
    fillIn(eq).channelMask = 0x3;
    fillIn(filter).channelMask = 0x4;
    const Bytes eqBytes = bytesOf(eq), filterBytes = bytesOf(filter), blob(kMpBinSize, 0x5C);
    Bytes buffer(kMpBinExtSize);
    int32_t length = 1234;
    float f0 = 0, f1 = 0;
    ASSERT_TRUE(service.setFailing("setMasterVolume"));
    service.recordCalls(true);
    s.app->setEqualizer(&eq);
    s.app->getFilter(&filter);
    s.app->setSpeakerDelay(0x3, 1.5f);
    s.volume->getAdcPgaGain(7, &f0, &f1);
    s.volume->setAdcOpGain(2, 0.5f, -1.0f);
    s.tool->setMpBin(blob.data(), kMpBinSize, 0);
    s.tool->getMpBin(buffer.data(), &length, 1);
    EXPECT_NE(0, s.volume->setMasterVolume(99));
    const std::vector<Call> expected = {
        {"setEqualizer", {}, {}, eqBytes},      {"getFilter", {}, {}, filterBytes},
        {"setSpeakerDelay", {3}, {1.5}, {}},    {"getAdcPgaGain", {7}, {}, {}},
        {"setAdcOpGain", {2}, {0.5, -1.0}, {}}, {"setMpBin", {kMpBinSize, 0}, {}, blob},
        {"getMpBin", {1234, 1}, {}, {}},        {"setMasterVolume", {99}, {}, {}},
    };
    const std::vector<Call> calls = service.calls();
    ASSERT_EQ(expected.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        const Call& e = expected[i];
        EXPECT_EQ(std::tie(e.op, e.ints, e.reals, e.bytes),
                  std::tie(calls[i].op, calls[i].ints, calls[i].reals, calls[i].bytes));
    }
    EXPECT_EQ(0x4u, calls[1].recordAs<uint32_t>());  // the channel mask leads
    service.clearCalls();
    EXPECT_TRUE(service.callNames().empty());

    ASSERT_EQ(0, s.source->setSpeakerOutPut(0x3F));
    service.reset();
    EXPECT_TRUE(service.calls().empty());
    EXPECT_FALSE(service.isFailing("setMasterVolume"));
    const State booted = service.state();
    EXPECT_EQ(0x0Fu, booted.speakerOutput);  // the "4.0" layout
    EXPECT_EQ(30, booted.masterVolume);
    ASSERT_EQ(0, s.source->setSpeakerOutPut(0x3F));
    EXPECT_TRUE(service.calls().empty()) << "reset turns recording off";
}

TEST(AudioPrintTest, PrefixesAreFormattedAsPrintfWouldAndCaptureKeepsLinesInOrder) {
    const struct {
        const char* prefix;
        int line;
        const char* expected;
    } cases[] = {
        {"<4>[%s %s %s %d] BUG: ", -17, "<4>[t M f -17] BUG: m 5\n"},
        {"[%s|%s|%s] %d: ", 2147483647, "[t|M|f] 2147483647: m 5\n"},
        {"%s%s%s%d", INT_MIN, "tMf-2147483648m 5\n"},
        {"plain ", 1, "plain m 5\n"},
        {"100%% %s %s %s %d ", 5, "100% t M f 5 m 5\n"},
        {"%s %s %s %05d ", 42, "t M f 00042 m 5\n"},
    };
    LogCapture capture;
    for (const auto& c : cases) audioPrint(c.prefix, "t", "M", "f", c.line, "m %d\n", 5);
    audioPrint("<1>[%s %s %s %d] INF: ", nullptr, "M", "f", 1, "%s\n",
               std::string(6000, 'x').c_str());
    audioPrint("<3>[%s|%s|%s] ", "t", nullptr, nullptr, 0, "%s", "");
    std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(8u, lines.size());
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(cases[i].expected, lines[i]) << cases[i].prefix;
    EXPECT_EQ(4095u, lines[6].size());  // cut, and still a line
    EXPECT_EQ(0u, lines[6].find("<1>[ M f 1] INF: xxx"));
    EXPECT_EQ('\n', lines[6].back());
    EXPECT_EQ("<3>[t||] ", lines[7]);
    EXPECT_TRUE(capture.contains("00042 m"));
    EXPECT_FALSE(capture.contains("m 6"));
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

// Runs only in the child started below, where this is the service's first use.
TEST(SimEnvironmentChild, DISABLED_FailuresFromEnvironment) {
    Service& service = Service::instance();
    EXPECT_TRUE(service.isFailing("setFilter"));
    EXPECT_EQ(0, Settings().volume->setMasterVolume(9));
    EXPECT_TRUE(service.calls().empty()) << "records before it is asked to";
}

// The child's log goes to standard error, with no capture alive.
TEST(SimEnvironmentTest, FailuresAreReadAtFirstUse) {
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = '\0';
    const std::string command = "DSPD_SIM_FAIL='setFilter, noSuchOp' '" + std::string(self) +
                                "' --gtest_filter=SimEnvironmentChild.* "
                                "--gtest_also_run_disabled_tests 2>&1";
    std::FILE* child = popen(command.c_str(), "r");
    ASSERT_NE(nullptr, child);
    std::string report;
    char buffer[512];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, child)) > 0;) {
        report.append(buffer, got);
    }
    EXPECT_EQ(0, pclose(child)) << report;
    EXPECT_THAT(report, ::testing::HasSubstr("WRN: DSPD_SIM_FAIL: no operation named noSuchOp\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("INF: simulating failure of setFilter\n"));
    EXPECT_THAT(report, ::testing::HasSubstr("[  PASSED  ] 1 test"));
}

}  // namespace
}  // namespace audiosim
