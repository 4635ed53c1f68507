#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AudioCreator.h"
#include "AudioPrint.h"
#include "SimService.h"

extern char** environ;

namespace audiosim {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Settings {
    std::unique_ptr<AudioAppSetting> app{AudioCreator::createAudioAppSetting()};
    std::unique_ptr<AudioSourceSetting> source{AudioCreator::createAudioSourceSetting()};
    std::unique_ptr<AudioMixerSetting> mixer{AudioCreator::createAudioMixerSetting()};
    std::unique_ptr<AudioVolumeSetting> volume{AudioCreator::createAudioVolumeSetting()};
    std::unique_ptr<AudioToolSetting> tool{AudioCreator::createAudioToolSetting()};
};

template <typename T>
bool sameRecord(const T& a, const T& b) {
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Field by field for records with padding: a copy need not keep padding bytes
// (the service's own padding is checked in place, see paddingBytes()).
bool sameRecord(const ChannelGainParam& a, const ChannelGainParam& b) {
    return a.channelMask == b.channelMask && a.gain == b.gain;
}

bool sameRecord(const BiquadBand& a, const BiquadBand& b) {
    return a.type == b.type && a.cf == b.cf && sameRecord(a.gain, b.gain) && sameRecord(a.q, b.q) &&
           a.method == b.method && a.slope == b.slope && a.phase == b.phase;
}

bool sameRecord(const BiquadParam& a, const BiquadParam& b) {
    return a.channelMask == b.channelMask &&
           std::equal(std::begin(a.band), std::end(a.band), std::begin(b.band),
                      [](const BiquadBand& x, const BiquadBand& y) { return sameRecord(x, y); });
}

bool sameRecord(const HandsfreeEQParam& a, const HandsfreeEQParam& b) {
    return a.which == b.which && a.en == b.en && sameRecord(a.cf, b.cf) &&
           sameRecord(a.gain, b.gain) && sameRecord(a.q, b.q);
}

template <typename T>
std::vector<uint8_t> bytesOf(const T& record) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&record);
    return std::vector<uint8_t>(p, p + sizeof record);
}

// A record full of 0xA5 bytes: unlike every default, and easy to spot.
template <typename T>
T sentinel() {
    T record;
    std::memset(&record, 0xA5, sizeof record);
    return record;
}

template <typename T>
T zeroed() {
    T record;
    std::memset(&record, 0, sizeof record);
    return record;
}

template <typename T>
T withMask(T record, uint32_t mask) {
    record.channelMask = mask;
    return record;
}

bool sameState(const State& a, const State& b) {
#define SAME(field) sameRecord(a.field, b.field)
#define SAME_EACH(field)                                                    \
    std::equal(std::begin(a.field), std::end(a.field), std::begin(b.field), \
               [](const auto& x, const auto& y) { return sameRecord(x, y); })
    return SAME(speakerOutput) && SAME(testPatternChannels) && SAME(testPattern) &&
           SAME(masterVolume) && SAME(channelGain) && SAME(speakerDelay) && SAME(equalizer) &&
           SAME(bassTreble) && SAME(filter) && SAME_EACH(biquad) && SAME(loudness) &&
           SAME(duplexOfAEC) && SAME(nrAttenuation) && SAME(nlp) && SAME_EACH(handsfreeEQ) &&
           SAME(adcOpGain) && SAME(adcPgaGain) && SAME(upLinkGain) && a.mpBin == b.mpBin &&
           a.mpBinExt == b.mpBinExt;
#undef SAME_EACH
#undef SAME
}

class SimServiceTest : public ::testing::Test {
protected:
    void SetUp() override { Service::instance().reset(); }
    void TearDown() override { Service::instance().reset(); }

    Service& service = Service::instance();
    Settings s;
};

TEST_F(SimServiceTest, DefaultsAreTheBootedDevice) {
    const State d = service.state();
    EXPECT_TRUE(sameState(d, State::defaults()));
    EXPECT_EQ(0x0Fu, d.speakerOutput);
    EXPECT_EQ(30, d.masterVolume);
    for (int ch = 0; ch < kChannels; ++ch) {
        SCOPED_TRACE(ch);
        const uint32_t mask = 1u << ch;
        EXPECT_EQ(mask, d.equalizer[ch].channelMask);
        EXPECT_THAT(d.equalizer[ch].cf, ElementsAre(63, 125, 250, 500, 1000, 2000, 4000, 8000));
        EXPECT_THAT(d.equalizer[ch].q, ElementsAre(1, 1, 1, 1, 1, 1, 1, 1));
        EXPECT_EQ(mask, d.bassTreble[ch].channelMask);
        EXPECT_THAT(d.bassTreble[ch].cf, ElementsAre(100, 10000));
        EXPECT_TRUE(sameRecord(d.filter[ch], withMask(zeroed<FilterParam>(), mask)));
        EXPECT_EQ(mask, d.biquad[ch].channelMask);
        for (const BiquadBand& band : d.biquad[ch].band) {
            EXPECT_EQ(1000, band.cf);
            EXPECT_FLOAT_EQ(0.707f, band.q);
        }
    }
    EXPECT_EQ(7u, d.nlp.flags);
    for (uint32_t which = 0; which < 2; ++which) {
        const HandsfreeEQParam& hf = d.handsfreeEQ[which];
        EXPECT_EQ(which, hf.which);
        EXPECT_EQ(0, hf.en);
        EXPECT_THAT(hf.cf, ElementsAre(100, 250, 500, 1000, 2000, 4000, 8000, 16000));
        EXPECT_THAT(hf.q, ElementsAre(1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f));
    }
    EXPECT_EQ(std::vector<uint8_t>(kMpBinSize, 0), d.mpBin);
    EXPECT_EQ(std::vector<uint8_t>(kMpBinExtSize, 0), d.mpBinExt);
}

// --- Per-channel records -------------------------------------------------

// Distinct field values per seed; padding left zero as the service keeps it.
FilterParam makeFilter(uint32_t mask, int seed) {
    FilterParam r = withMask(zeroed<FilterParam>(), mask);
    r.value1 = seed + 1;
    r.value2 = seed + 2;
    r.value3 = seed + 3;
    r.value4 = seed + 4;
    r.value5 = static_cast<int16_t>(-seed - 5);
    r.value6 = seed + 6;
    return r;
}

EqualizerParam makeEqualizer(uint32_t mask, int seed) {
    EqualizerParam r = withMask(zeroed<EqualizerParam>(), mask);
    for (int i = 0; i < 8; ++i) {
        r.cf[i] = static_cast<uint16_t>(seed * 100 + i);
        r.gain[i] = seed - 0.5f * i;
        r.q[i] = static_cast<uint16_t>(seed + i);
    }
    return r;
}

BassTrebleParam makeBassTreble(uint32_t mask, int seed) {
    BassTrebleParam r = withMask(zeroed<BassTrebleParam>(), mask);
    r.cf[0] = static_cast<uint16_t>(seed * 10);
    r.cf[1] = static_cast<uint16_t>(seed * 1000);
    r.gain[0] = seed + 0.25f;
    r.gain[1] = -seed - 0.75f;
    return r;
}

BiquadParam makeBiquad(uint32_t mask, int seed) {
    BiquadParam r = withMask(zeroed<BiquadParam>(), mask);
    for (int i = 0; i < 20; ++i) {
        r.band[i] = BiquadBand{
            i % 4, static_cast<uint16_t>(seed * 50 + i), seed - 0.5f * i, 0.5f + i, seed, -i,
            i % 2};
    }
    return r;
}

ChannelGainParam makeChannelGain(uint32_t mask, int seed) {
    ChannelGainParam r = withMask(zeroed<ChannelGainParam>(), mask);
    r.gain = static_cast<uint8_t>(seed * 7);
    return r;
}

template <typename T, int (AudioAppSetting::*Set)(T*), int (AudioAppSetting::*Get)(T*),
          T (*Make)(uint32_t, int), T (State::*Stored)[kChannels]>
struct AppRecord {
    using Record = T;
    static int set(Settings& s, T* r) { return (s.app.get()->*Set)(r); }
    static int get(Settings& s, T* r) { return (s.app.get()->*Get)(r); }
    static T make(uint32_t mask, int seed) { return Make(mask, seed); }
    static T stored(const State& st, int ch) { return (st.*Stored)[ch]; }
};

struct ChannelGainRecord {
    using Record = ChannelGainParam;
    static int set(Settings& s, Record* r) { return s.volume->setChannelGain(r); }
    static int get(Settings& s, Record* r) { return s.volume->getChannelGain(r); }
    static Record make(uint32_t mask, int seed) { return makeChannelGain(mask, seed); }
    static Record stored(const State& st, int ch) {
        ChannelGainParam r = withMask(zeroed<ChannelGainParam>(), 1u << ch);
        r.gain = st.channelGain[ch];
        return r;
    }
};

template <typename Ops>
class PerChannelTest : public SimServiceTest {};

using PerChannelRecords =
    ::testing::Types<AppRecord<FilterParam, &AudioAppSetting::setFilter,
                               &AudioAppSetting::getFilter, makeFilter, &State::filter>,
                     AppRecord<EqualizerParam, &AudioAppSetting::setEqualizer,
                               &AudioAppSetting::getEqualizer, makeEqualizer, &State::equalizer>,
                     AppRecord<BassTrebleParam, &AudioAppSetting::setBassTreble,
                               &AudioAppSetting::getBassTreble, makeBassTreble, &State::bassTreble>,
                     AppRecord<BiquadParam, &AudioAppSetting::setBiquad,
                               &AudioAppSetting::getBiquad, makeBiquad, &State::biquad>,
                     ChannelGainRecord>;
TYPED_TEST_SUITE(PerChannelTest, PerChannelRecords);

TYPED_TEST(PerChannelTest, SetOneChannelThenGetEach) {
    using R = typename TypeParam::Record;
    for (int ch = 0; ch < kChannels; ++ch) {
        SCOPED_TRACE(ch);
        this->service.reset();
        const State before = this->service.state();
        R value = TypeParam::make(1u << ch, ch + 3);
        ASSERT_EQ(0, TypeParam::set(this->s, &value));
        for (int other = 0; other < kChannels; ++other) {
            R got = withMask(zeroed<R>(), 1u << other);
            ASSERT_EQ(0, TypeParam::get(this->s, &got));
            const R expected = other == ch ? value : TypeParam::stored(before, other);
            EXPECT_TRUE(sameRecord(expected, got)) << "channel " << other;
        }
    }
}

TYPED_TEST(PerChannelTest, SetAppliesToEveryNamedChannelGetReadsLowest) {
    using R = typename TypeParam::Record;
    const State before = this->service.state();
    R value = TypeParam::make(0x2A, 9);  // channels 1, 3, 5
    ASSERT_EQ(0, TypeParam::set(this->s, &value));
    const State after = this->service.state();
    for (int ch = 0; ch < kChannels; ++ch) {
        const R expected = ch % 2 ? TypeParam::make(1u << ch, 9) : TypeParam::stored(before, ch);
        EXPECT_TRUE(sameRecord(expected, TypeParam::stored(after, ch))) << "channel " << ch;
    }
    R got = withMask(zeroed<R>(), 0x18);  // channels 3 (set) and 4: reads 3, keeps the mask
    ASSERT_EQ(0, TypeParam::get(this->s, &got));
    EXPECT_TRUE(sameRecord(TypeParam::make(0x18, 9), got));
}

TYPED_TEST(PerChannelTest, BadMasksAndNullAreRefused) {
    using R = typename TypeParam::Record;
    const State before = this->service.state();
    for (uint32_t mask : {0u, 1u << 6, 0x41u, 0x80000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(mask);
        R value = TypeParam::make(mask, 4);
        EXPECT_EQ(-EINVAL, TypeParam::set(this->s, &value));
        R got = sentinel<R>();
        got.channelMask = mask;
        const R untouched = got;
        EXPECT_EQ(-EINVAL, TypeParam::get(this->s, &got));
        EXPECT_TRUE(sameRecord(untouched, got));
    }
    EXPECT_EQ(-EINVAL, TypeParam::set(this->s, nullptr));
    EXPECT_EQ(-EINVAL, TypeParam::get(this->s, nullptr));
    EXPECT_TRUE(sameState(before, this->service.state()));
}

// Padding bytes as they lie in the service (a copy need not keep them).
std::vector<int> paddingBytes(Service& service) {
    std::lock_guard<std::mutex> lock(service.mutex());
    const State& st = service.lockedState();
    std::vector<int> bytes;
    for (int ch = 0; ch < kChannels; ++ch) {
        for (const BiquadBand& band : st.biquad[ch].band) {
            const uint8_t* raw = reinterpret_cast<const uint8_t*>(&band);
            bytes.insert(bytes.end(), {raw[6], raw[7]});
        }
    }
    for (const HandsfreeEQParam& hf : st.handsfreeEQ) {
        const uint8_t* raw = reinterpret_cast<const uint8_t*>(&hf);
        bytes.insert(bytes.end(), {raw[5], raw[6], raw[7]});
    }
    return bytes;
}

TEST_F(SimServiceTest, PaddingStaysZero) {
    const std::vector<int> zeros(kChannels * 20 * 2 + 2 * 3, 0);
    EXPECT_EQ(zeros, paddingBytes(service));
    BiquadParam bq = sentinel<BiquadParam>();
    bq.channelMask = 0x3F;
    HandsfreeEQParam hf = sentinel<HandsfreeEQParam>();
    hf.which = 1;
    ASSERT_EQ(0, s.app->setBiquad(&bq));
    ASSERT_EQ(0, s.app->setHandsfreeEQ(&hf));
    EXPECT_EQ(zeros, paddingBytes(service));
}

// --- Scalars and single records --------------------------------------------

// Reads the default, then sets `value` and reads it back.
template <typename T, typename Set, typename Get>
void expectRoundTrip(const char* what, T value, Set set, Get get) {
    SCOPED_TRACE(what);
    T got{};
    ASSERT_EQ(0, get(&got));
    EXPECT_NE(value, got) << "the default already holds the value";
    ASSERT_EQ(0, set(value));
    ASSERT_EQ(0, get(&got));
    EXPECT_EQ(value, got);
}

TEST_F(SimServiceTest, ScalarRoundTrips) {
    AudioAppSetting& app = *s.app;
    AudioVolumeSetting& vol = *s.volume;
    expectRoundTrip<int32_t>(
        "duplex", 1, [&](int32_t v) { return app.setDuplexOfAEC(v); },
        [&](int32_t* v) { return app.getDuplexOfAEC(v); });
    expectRoundTrip<int32_t>(
        "nr", -12, [&](int32_t v) { return app.setNRAttenuation(v); },
        [&](int32_t* v) { return app.getNRAttenuation(v); });
    expectRoundTrip<uint8_t>(
        "master volume", 200, [&](uint8_t v) { return vol.setMasterVolume(v); },
        [&](uint8_t* v) { return vol.getMasterVolume(v); });
    expectRoundTrip<uint32_t>(
        "speaker output", 0x3F, [&](uint32_t v) { return s.source->setSpeakerOutPut(v); },
        [&](uint32_t* v) { return s.source->getSpeakerOutPut(v); });
    expectRoundTrip<float>(
        "uplink gain", -3.5f, [&](float v) { return vol.setUpLinkGain(v); },
        [&](float* v) { return vol.getUpLinkGain(v); });
    // Channels 4 and 5 set, read through each; channel 3 keeps its default.
    expectRoundTrip<float>(
        "speaker delay", 2.25f, [&](float v) { return app.setSpeakerDelay(0x30, v); },
        [&](float* v) { return app.getSpeakerDelay(0x20, v); });
    float delay = -1;
    EXPECT_EQ(0, app.getSpeakerDelay(0x10, &delay));
    EXPECT_EQ(2.25f, delay);
    EXPECT_EQ(0, app.getSpeakerDelay(0x08, &delay));
    EXPECT_EQ(0.0f, delay);

    using Pair = std::pair<float, float>;
    expectRoundTrip<Pair>(
        "adc op", Pair(1.5f, -2.5f), [&](Pair v) { return vol.setAdcOpGain(0, v.first, v.second); },
        [&](Pair* v) { return vol.getAdcOpGain(0, &v->first, &v->second); });
    expectRoundTrip<Pair>(
        "adc pga", Pair(6.0f, 12.0f),
        [&](Pair v) { return vol.setAdcPgaGain(0, v.first, v.second); },
        [&](Pair* v) { return vol.getAdcPgaGain(0, &v->first, &v->second); });
    vol.setAdcOpGain(0, 0.5f, 0.25f);  // the two pairs are apart
    Pair pga;
    EXPECT_EQ(0, vol.getAdcPgaGain(0, &pga.first, &pga.second));
    EXPECT_EQ(Pair(6.0f, 12.0f), pga);
}

TEST_F(SimServiceTest, RecordRoundTrips) {
    ASSERT_EQ(0, s.source->setMainAudioSpeakerTestPattern(0x21, 3));
    EXPECT_EQ(0x21u, service.state().testPatternChannels);
    EXPECT_EQ(3u, service.state().testPattern);

    LoudnessParam loud{1, 2, 3}, gotLoud{};
    ASSERT_EQ(0, s.app->setLoudness(&loud));
    ASSERT_EQ(0, s.app->getLoudness(&gotLoud));
    EXPECT_TRUE(sameRecord(loud, gotLoud));

    for (uint32_t which = 0; which < 2; ++which) {
        SCOPED_TRACE(which);
        service.reset();
        HandsfreeEQParam hf;
        std::memset(&hf, 0, sizeof hf);
        hf.which = which;
        hf.en = 1;
        for (int i = 0; i < 8; ++i) {
            hf.cf[i] = 200 * (i + 1);
            hf.gain[i] = -1.5f * i;
            hf.q[i] = 0.5f + i;
        }
        ASSERT_EQ(0, s.app->setHandsfreeEQ(&hf));
        HandsfreeEQParam got = sentinel<HandsfreeEQParam>(), other = got;
        got.which = which;
        other.which = 1 - which;
        ASSERT_EQ(0, s.app->getHandsfreeEQ(&got));
        ASSERT_EQ(0, s.app->getHandsfreeEQ(&other));
        EXPECT_TRUE(sameRecord(hf, got));
        EXPECT_TRUE(sameRecord(State::defaults().handsfreeEQ[1 - which], other));
    }
    HandsfreeEQParam bad = sentinel<HandsfreeEQParam>();
    bad.which = 2;
    EXPECT_EQ(-EINVAL, s.app->setHandsfreeEQ(&bad));
    EXPECT_EQ(-EINVAL, s.app->getHandsfreeEQ(&bad));
}

TEST_F(SimServiceTest, NlpConfigChangesOnlyFlaggedFields) {
    struct Case {
        uint32_t flags;
        int32_t pf, esti, exec;
    };
    for (const Case& c : std::vector<Case>{{0, 0, 0, 0},
                                           {1, 11, 0, 0},
                                           {2, 0, 22, 0},
                                           {4, 0, 0, 33},
                                           {7, 11, 22, 33},
                                           {8, 0, 0, 0},
                                           {0xFFFFFFF8u | 5, 11, 0, 33}}) {
        SCOPED_TRACE(c.flags);
        service.reset();
        NLPConfigParam set{c.flags, 11, 22, 33};
        ASSERT_EQ(0, s.app->setNLPConfig(&set));
        NLPConfigParam got{0x1234, -1, -1, -1};
        ASSERT_EQ(0, s.app->getNLPConfig(&got));
        EXPECT_EQ(0x1234u, got.flags);
        EXPECT_EQ(c.pf, got.pfWeightIdx);
        EXPECT_EQ(c.esti, got.cnEstiIdx);
        EXPECT_EQ(c.exec, got.cnExecIdx);
    }
}

TEST_F(SimServiceTest, MpBinSizesAndKindsAreKeptApart) {
    const std::vector<uint8_t> basic(kMpBinSize, 0xAB), ext(kMpBinExtSize, 0x5C);
    struct Case {
        uint32_t length;
        int32_t extended;
        int rc;
    };
    for (const Case& c : std::vector<Case>{{kMpBinSize, 1, -EINVAL},
                                           {kMpBinExtSize, 0, -EINVAL},
                                           {0, 0, -EINVAL},
                                           {kMpBinSize + 1, 0, -EINVAL},
                                           {kMpBinExtSize, 2, -EINVAL},
                                           {kMpBinSize, 0, 0},
                                           {kMpBinExtSize, 1, 0}}) {
        SCOPED_TRACE(testing::Message() << c.length << "/" << c.extended);
        const uint8_t* data = c.length > kMpBinSize ? ext.data() : basic.data();
        EXPECT_EQ(c.rc, s.tool->setMpBin(data, c.length, c.extended));
    }
    for (int32_t extended : {0, 1}) {
        std::vector<uint8_t> got(kMpBinExtSize + 8, 0);
        int32_t length = 0;
        ASSERT_EQ(0, s.tool->getMpBin(got.data(), &length, extended));
        const std::vector<uint8_t>& want = extended ? ext : basic;
        EXPECT_EQ(static_cast<int32_t>(want.size()), length);
        EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin()));
        EXPECT_EQ(0, got[want.size()]) << "copied past the blob";
    }
    std::vector<uint8_t> buffer(kMpBinExtSize);
    int32_t length = 0;
    EXPECT_EQ(-EINVAL, s.tool->getMpBin(buffer.data(), &length, 2));
    EXPECT_EQ(-EINVAL, s.tool->getMpBin(nullptr, &length, 0));
    EXPECT_EQ(-EINVAL, s.tool->getMpBin(buffer.data(), nullptr, 0));
    EXPECT_EQ(-EINVAL, s.tool->setMpBin(nullptr, kMpBinSize, 0));
}

TEST_F(SimServiceTest, NullOutPointersAreRefused) {
    const std::vector<std::function<int()>> calls = {
        [&] { return s.app->getSpeakerDelay(1, nullptr); },
        [&] { return s.app->getDuplexOfAEC(nullptr); },
        [&] { return s.app->getNRAttenuation(nullptr); },
        [&] { return s.app->setNLPConfig(nullptr); },
        [&] { return s.app->getNLPConfig(nullptr); },
        [&] { return s.app->setHandsfreeEQ(nullptr); },
        [&] { return s.app->getHandsfreeEQ(nullptr); },
        [&] { return s.app->setLoudness(nullptr); },
        [&] { return s.app->getLoudness(nullptr); },
        [&] { return s.source->getSpeakerOutPut(nullptr); },
        [&] { return s.volume->getMasterVolume(nullptr); },
        [&] { return s.volume->getUpLinkGain(nullptr); },
        [&] {
            float f = 0;
            return s.volume->getAdcOpGain(0, nullptr, &f);
        },
        [&] {
            float f = 0;
            return s.volume->getAdcPgaGain(0, &f, nullptr);
        },
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(-EINVAL, calls[i]()) << "call " << i;
    }
}

// --- Fault injection -------------------------------------------------------

// Every operation, called with valid arguments. `untouched` tells whether the
// out-values still hold what the caller put there.
using Invoker = std::function<int(Settings&, bool& untouched)>;

template <typename T, typename Get>
int getInto(T record, Get get, bool& untouched) {
    T before;
    std::memcpy(&before, &record, sizeof record);  // padding included
    const int rc = get(&record);
    untouched = std::memcmp(&before, &record, sizeof record) == 0;
    return rc;
}

template <typename T>
int getValue(std::function<int(T*)> get, bool& untouched) {
    T value = sentinel<T>();
    const T before = value;
    const int rc = get(&value);
    untouched = sameRecord(before, value);
    return rc;
}

// A sentinel record naming channel 2 (or equalizer 1).
template <typename T>
T argument() {
    T record = sentinel<T>();
    record.channelMask = 4;
    return record;
}
template <>
HandsfreeEQParam argument() {
    HandsfreeEQParam record = sentinel<HandsfreeEQParam>();
    record.which = 1;
    return record;
}
template <>
NLPConfigParam argument() {
    return sentinel<NLPConfigParam>();
}
template <>
LoudnessParam argument() {
    return sentinel<LoudnessParam>();
}

const std::map<std::string, Invoker>& invokers() {
    static const std::map<std::string, Invoker> table = [] {
        std::map<std::string, Invoker> t;
#define SET(name, call)                           \
    t[#name] = [](Settings& s, bool& untouched) { \
        untouched = true;                         \
        return s.call;                            \
    }
#define SET_RECORD(name, object, Type)            \
    t[#name] = [](Settings& s, bool& untouched) { \
        untouched = true;                         \
        Type record = argument<Type>();           \
        return s.object->name(&record);           \
    }
#define GET_RECORD(name, object, Type)                                                \
    t[#name] = [](Settings& s, bool& untouched) {                                     \
        return getInto(                                                               \
            argument<Type>(), [&](Type* r) { return s.object->name(r); }, untouched); \
    }
#define GET_VALUE(name, Type, call)                                        \
    t[#name] = [](Settings& s, bool& untouched) {                          \
        return getValue<Type>([&](Type* v) { return s.call; }, untouched); \
    }
        SET_RECORD(setFilter, app, FilterParam);
        SET_RECORD(setBassTreble, app, BassTrebleParam);
        SET_RECORD(setEqualizer, app, EqualizerParam);
        SET_RECORD(setBiquad, app, BiquadParam);
        SET_RECORD(setHandsfreeEQ, app, HandsfreeEQParam);
        SET_RECORD(setNLPConfig, app, NLPConfigParam);
        SET_RECORD(setLoudness, app, LoudnessParam);
        SET_RECORD(setChannelGain, volume, ChannelGainParam);
        GET_RECORD(getFilter, app, FilterParam);
        GET_RECORD(getBassTreble, app, BassTrebleParam);
        GET_RECORD(getEqualizer, app, EqualizerParam);
        GET_RECORD(getBiquad, app, BiquadParam);
        GET_RECORD(getHandsfreeEQ, app, HandsfreeEQParam);
        GET_RECORD(getNLPConfig, app, NLPConfigParam);
        GET_RECORD(getLoudness, app, LoudnessParam);
        GET_RECORD(getChannelGain, volume, ChannelGainParam);
        SET(setSpeakerDelay, app->setSpeakerDelay(4, 1.5f));
        SET(setDuplexOfAEC, app->setDuplexOfAEC(1));
        SET(setNRAttenuation, app->setNRAttenuation(3));
        SET(setMainAudioSpeakerTestPattern, source->setMainAudioSpeakerTestPattern(3, 1));
        SET(setSpeakerOutPut, source->setSpeakerOutPut(0x3F));
        SET(setMasterVolume, volume->setMasterVolume(99));
        SET(setUpLinkGain, volume->setUpLinkGain(2.0f));
        SET(setAdcPgaGain, volume->setAdcPgaGain(0, 1.0f, 2.0f));
        SET(setAdcOpGain, volume->setAdcOpGain(0, 3.0f, 4.0f));
        SET(setMpBin, tool->setMpBin(std::vector<uint8_t>(kMpBinSize, 0x77).data(), kMpBinSize, 0));
        GET_VALUE(getSpeakerDelay, float, app->getSpeakerDelay(4, v));
        GET_VALUE(getDuplexOfAEC, int32_t, app->getDuplexOfAEC(v));
        GET_VALUE(getNRAttenuation, int32_t, app->getNRAttenuation(v));
        GET_VALUE(getSpeakerOutPut, uint32_t, source->getSpeakerOutPut(v));
        GET_VALUE(getMasterVolume, uint8_t, volume->getMasterVolume(v));
        GET_VALUE(getUpLinkGain, float, volume->getUpLinkGain(v));
        GET_VALUE(getAdcPgaGain, float, volume->getAdcPgaGain(0, v, v));
        GET_VALUE(getAdcOpGain, float, volume->getAdcOpGain(0, v, v));
#undef SET
#undef SET_RECORD
#undef GET_RECORD
#undef GET_VALUE
        t["getMpBin"] = [](Settings& s, bool& untouched) {
            std::vector<uint8_t> buffer(kMpBinExtSize, 0xA5);
            int32_t length = 0x5A;
            const int rc = s.tool->getMpBin(buffer.data(), &length, 1);
            untouched = length == 0x5A && buffer == std::vector<uint8_t>(kMpBinExtSize, 0xA5);
            return rc;
        };
        return t;
    }();
    return table;
}

TEST_F(SimServiceTest, OperationNamesAreEveryOperation) {
    std::vector<std::string> names = Service::operationNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(35u, names.size());
    EXPECT_EQ(names.end(), std::adjacent_find(names.begin(), names.end()));
    std::vector<std::string> invoked;
    for (const auto& entry : invokers()) {
        invoked.push_back(entry.first);
    }
    EXPECT_EQ(invoked, names);
}

TEST_F(SimServiceTest, EveryOperationSucceedsOrFailsOnDemand) {
    for (const std::string& op : Service::operationNames()) {
        SCOPED_TRACE(op);
        const Invoker& invoke = invokers().at(op);
        bool untouched = false;

        service.reset();
        ASSERT_EQ(0, invoke(s, untouched));

        service.reset();
        service.recordCalls(true);
        ASSERT_TRUE(service.setFailing(op));
        EXPECT_TRUE(service.isFailing(op));
        const State before = service.state();
        EXPECT_NE(0, invoke(s, untouched));
        EXPECT_TRUE(untouched) << "out-values changed by a failed call";
        EXPECT_TRUE(sameState(before, service.state())) << "state changed by a failed call";
        EXPECT_EQ(std::vector<std::string>{op}, service.callNames());

        ASSERT_TRUE(service.setFailing(op, false));
        EXPECT_EQ(0, invoke(s, untouched));
    }
}

TEST_F(SimServiceTest, FailingListAndReset) {
    EXPECT_FALSE(service.setFailing("setNothing"));
    std::vector<std::string> unknown;
    service.setFailingList(" setFilter , ,bogus,\tgetMasterVolume,", &unknown);
    EXPECT_EQ(std::vector<std::string>{"bogus"}, unknown);
    EXPECT_TRUE(service.isFailing("setFilter"));
    EXPECT_TRUE(service.isFailing("getMasterVolume"));
    EXPECT_FALSE(service.isFailing("getFilter"));
    service.setFailingList(nullptr, nullptr);

    FilterParam f = makeFilter(1, 1);
    EXPECT_NE(0, s.app->setFilter(&f));
    EXPECT_EQ(0, s.app->getFilter(&f));

    service.recordCalls(true);
    EXPECT_EQ(0, s.app->getFilter(&f));
    service.reset();
    EXPECT_FALSE(service.isFailing("setFilter"));
    EXPECT_TRUE(service.calls().empty());
    EXPECT_EQ(0, s.app->getFilter(&f));
    EXPECT_TRUE(service.calls().empty()) << "reset turns recording off";
}

// --- Call record -----------------------------------------------------------

TEST_F(SimServiceTest, CallRecordConventions) {
    const EqualizerParam eq = makeEqualizer(0x3, 2);
    FilterParam filter = withMask(sentinel<FilterParam>(), 0x4);
    const FilterParam filterOnEntry = filter;
    std::vector<uint8_t> blob(kMpBinSize);
    for (size_t i = 0; i < blob.size(); ++i) {
        blob[i] = static_cast<uint8_t>(i);
    }
    std::vector<uint8_t> buffer(kMpBinExtSize);
    int32_t length = 1234;
    float out = 0;

    s.app->setDuplexOfAEC(5);  // not recorded: recording is off
    service.recordCalls(true);
    EqualizerParam eqArg = eq;
    s.app->setEqualizer(&eqArg);
    s.app->getFilter(&filter);
    s.app->setSpeakerDelay(0x3, 1.5f);
    s.app->getSpeakerDelay(0x4, &out);
    s.volume->setAdcOpGain(0, 1.25f, -2.0f);
    s.volume->setMasterVolume(42);
    s.source->setMainAudioSpeakerTestPattern(0x3F, 2);
    s.tool->setMpBin(blob.data(), kMpBinSize, 0);
    s.tool->getMpBin(buffer.data(), &length, 1);

    struct Expected {
        std::string op;
        std::vector<int64_t> ints;
        std::vector<double> reals;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Expected> expected = {
        {"setEqualizer", {}, {}, bytesOf(eq)},
        {"getFilter", {}, {}, bytesOf(filterOnEntry)},
        {"setSpeakerDelay", {3}, {1.5}, {}},
        {"getSpeakerDelay", {4}, {}, {}},
        {"setAdcOpGain", {0}, {1.25, -2.0}, {}},
        {"setMasterVolume", {42}, {}, {}},
        {"setMainAudioSpeakerTestPattern", {0x3F, 2}, {}, {}},
        {"setMpBin", {kMpBinSize, 0}, {}, blob},
        {"getMpBin", {1234, 1}, {}, {}},
    };
    const std::vector<Call> calls = service.calls();
    ASSERT_EQ(expected.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(expected[i].op);
        EXPECT_EQ(expected[i].op, calls[i].op);
        EXPECT_EQ(expected[i].ints, calls[i].ints);
        EXPECT_EQ(expected[i].reals, calls[i].reals);
        EXPECT_EQ(expected[i].bytes, calls[i].bytes);
    }
    EXPECT_TRUE(sameRecord(eq, calls[0].recordAs<EqualizerParam>()));

    service.clearCalls();
    EXPECT_TRUE(service.callNames().empty());
}

// --- Logging ---------------------------------------------------------------

TEST(AudioPrintTest, CaptureHoldsFormattedLines) {
    LogCapture capture;
    audioPrint("<3>[%s %s %s %d] ERR: ", "", "AudioCommand", "exec_i", 42, "bad argc number\n");
    audioPrint("<1>[%s %s %s %d] INF: ", "", "M", "f", 7, "value %d of %s\n", 5, "x");
    EXPECT_THAT(capture.lines(), ElementsAre("<3>[ AudioCommand exec_i 42] ERR: bad argc number\n",
                                             "<1>[ M f 7] INF: value 5 of x\n"));
    EXPECT_TRUE(capture.contains("value 5"));
    EXPECT_FALSE(capture.contains("value 6"));
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}

TEST(AudioPrintTest, PrefixesOfOtherShapesAreFormattedAsPrintfWould) {
    const struct {
        const char* prefix;
        int line;
        const char* expected;
    } cases[] = {
        {"<4>[%s %s %s %d] BUG: ", -17, "<4>[t M f -17] BUG: m\n"},
        {"[%s|%s|%s] %d: ", 2147483647, "[t|M|f] 2147483647: m\n"},
        {"%s%s%s%d", INT32_MIN, "tMf-2147483648m\n"},
        {"plain ", 1, "plain m\n"},
        {"100%% %s %s %s %d ", 5, "100% t M f 5 m\n"},
        {"%s %s %s %05d ", 42, "t M f 00042 m\n"},
    };
    for (const auto& c : cases) {
        LogCapture capture;
        audioPrint(c.prefix, "t", "M", "f", c.line, "m\n");
        ASSERT_EQ(1u, capture.lines().size()) << c.prefix;
        EXPECT_EQ(c.expected, capture.lines()[0]) << c.prefix;
    }
}

TEST(AudioPrintTest, LongLineIsCutAndStillEndsTheLine) {
    LogCapture capture;
    const std::string longText(6000, 'x');
    audioPrint("<1>[%s %s %s %d] INF: ", "", "M", "f", 1, "%s\n", longText.c_str());
    ASSERT_EQ(1u, capture.lines().size());
    const std::string line = capture.lines()[0];
    EXPECT_EQ(4095u, line.size());
    EXPECT_EQ(0u, line.find("<1>[ M f 1] INF: xxx"));
    EXPECT_EQ('\n', line.back());
}

// Reads what `write` sends to standard error, through a pipe.
std::string stderrOf(const std::function<void()>& write) {
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return {};
    }
    const int saved = dup(STDERR_FILENO);
    EXPECT_GE(saved, 0);
    EXPECT_EQ(STDERR_FILENO, dup2(fds[1], STDERR_FILENO));
    close(fds[1]);
    write();
    EXPECT_EQ(STDERR_FILENO, dup2(saved, STDERR_FILENO));  // closes the pipe's last writer
    close(saved);
    std::string text;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    return text;
}

TEST(AudioPrintTest, WritesToStandardErrorWithoutCapture) {
    const std::string text =
        stderrOf([] { audioPrint("<2>[%s %s %s %d] WRN: ", "t", "F", "g", 3, "n=%d\n", 9); });
    EXPECT_EQ("<2>[t F g 3] WRN: n=9\n", text);
}

// --- DSPD_SIM_FAIL at first use -------------------------------------------

// Runs only in the child started below, where this is the service's first use.
TEST(SimEnvironmentChild, DISABLED_FailuresFromEnvironment) {
    Service* service = nullptr;
    const std::string log = stderrOf([&service] { service = &Service::instance(); });
    EXPECT_THAT(log, HasSubstr("WRN: DSPD_SIM_FAIL: no operation named noSuchOp\n"));
    EXPECT_THAT(log, HasSubstr("INF: simulating failure of setFilter\n"));
    EXPECT_TRUE(service->isFailing("setFilter"));
    Settings s;
    FilterParam f = makeFilter(1, 1);
    EXPECT_NE(0, s.app->setFilter(&f));
    EXPECT_EQ(0, s.app->getFilter(&f));
}

TEST(SimEnvironmentTest, FailuresAreReadAtFirstUse) {
    std::vector<std::string> env = {"DSPD_SIM_FAIL=setFilter, noSuchOp"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "DSPD_SIM_FAIL=", 14) != 0) {
            env.emplace_back(*e);
        }
    }
    std::vector<char*> envp;
    for (std::string& e : env) {
        envp.push_back(&e[0]);
    }
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=SimEnvironmentChild.*";
    std::string disabled = "--gtest_also_run_disabled_tests";
    std::string self = "/proc/self/exe";
    char* argv[] = {&self[0], &filter[0], &disabled[0], nullptr};

    int out[2];
    ASSERT_EQ(0, pipe(out));
    const pid_t pid = fork();
    ASSERT_GE(pid, 0) << std::strerror(errno);
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (dup2(out[1], STDOUT_FILENO) < 0) {
            _exit(126);
        }
        close(out[0]);
        close(out[1]);
        execve(argv[0], argv, envp.data());
        _exit(127);
    }
    close(out[1]);
    std::string report;
    char buffer[512];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << report;
    EXPECT_EQ(0, WEXITSTATUS(status)) << report;
    EXPECT_THAT(report, HasSubstr("[  PASSED  ] 1 test"));
}

}  // namespace
}  // namespace audiosim
