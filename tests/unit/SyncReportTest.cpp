// "sync" driven through the "dsp" group on the simulated service.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "DspHarness.h"

namespace {

using audiosim::State;

// Numbers as a peer reads them, made without printf: whole numbers with
// their own sign, floats with six decimals.
template <typename T>
std::string num(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        std::ostringstream text;
        text << std::fixed << std::setprecision(6) << static_cast<double>(value);
        return text.str();
    } else {
        return std::to_string(static_cast<int64_t>(value));
    }
}

// The report a peer expects for `s`, assembled field by field.
std::string expectedReport(const State& s, int layoutCode) {
    std::string r = "dsp sync:A0101:vol:" + num(layoutCode) + ":" + num(s.masterVolume);
    for (uint8_t gain : s.channelGain) r += ":" + num(gain);
    r += ":delay";
    for (float delay : s.speakerDelay) r += ":" + num(delay);
    r += ":eq";
    for (const EqualizerParam& eq : s.equalizer) {
        for (uint16_t cf : eq.cf) r += ":" + num(cf);
        for (uint16_t q : eq.q) r += ":" + num(q);
        for (float gain : eq.gain) r += ":" + num(gain);
    }
    r += ":eqbt";
    for (const BassTrebleParam& bt : s.bassTreble) {
        r += ":" + num(bt.cf[0]) + ":" + num(bt.cf[1]) + ":" + num(bt.gain[0]) + ":" +
             num(bt.gain[1]);
    }
    r += ":ftr";
    for (const FilterParam& f : s.filter) {
        for (int64_t v : {int64_t{f.value1}, int64_t{f.value2}, int64_t{f.value3},
                          int64_t{f.value4}, int64_t{f.value5}, int64_t{f.value6}}) {
            r += ":" + num(v);
        }
    }
    r += ":loud:" + num(s.loudness.value1) + ":" + num(s.loudness.value2) + ":" +
         num(s.loudness.value3) + ":bq";
    for (const BiquadParam& bq : s.biquad) {
        for (const BiquadBand& b : bq.band) {
            r += ":" + num(b.type) + ":" + num(b.cf) + ":" + num(b.gain) + ":" + num(b.q) + ":" +
                 num(b.method) + ":" + num(b.slope) + ":" + num(b.phase);
        }
    }
    return r + ":[ok]";
}

// Every value distinct and of a realistic size; layout 4.1 (code 1).
State knownState() {
    State s = State::defaults();
    s.speakerOutput = 0x2F;
    s.masterVolume = 40;
    for (int ch = 0; ch < audiosim::kChannels; ++ch) {
        s.channelGain[ch] = static_cast<uint8_t>(ch + 1);
        s.speakerDelay[ch] = 0.25f + 0.5f * ch;
        EqualizerParam& eq = s.equalizer[ch];
        for (int b = 0; b < 8; ++b) {
            eq.cf[b] = static_cast<uint16_t>((63 << b) + ch);
            eq.q[b] = static_cast<uint16_t>(1 + b + 10 * ch);
            eq.gain[b] = -6.0f + 1.5f * b + 0.25f * ch;
        }
        s.bassTreble[ch].cf[0] = static_cast<uint16_t>(80 + ch);
        s.bassTreble[ch].cf[1] = static_cast<uint16_t>(12000 + 100 * ch);
        s.bassTreble[ch].gain[0] = -2.5f + ch;
        s.bassTreble[ch].gain[1] = 3.75f + ch;
        FilterParam& f = s.filter[ch];
        f.value1 = static_cast<uint16_t>(10 * ch + 1);
        f.value2 = static_cast<uint16_t>(10 * ch + 2);
        f.value3 = static_cast<uint16_t>(10 * ch + 3);
        f.value4 = static_cast<uint16_t>(10 * ch + 4);
        f.value5 = static_cast<int16_t>(-100 * (ch + 1));
        f.value6 = static_cast<uint16_t>(10 * ch + 6);
        for (int b = 0; b < 20; ++b) {
            BiquadBand& band = s.biquad[ch].band[b];
            band.type = b % 5;
            band.cf = static_cast<uint16_t>(100 * (b + 1) + ch);
            band.gain = -12.5f + 0.5f * b + ch;
            band.q = 0.5f + 0.25f * b;
            band.method = b % 3;
            band.slope = 6 * (b % 4);
            band.phase = 30 * ch;
        }
    }
    s.loudness = {3, 7, 11};
    return s;
}

// The numbers of each section of a report, by the section's keyword.
std::vector<std::pair<std::string, int>> sectionCounts(const std::string& report) {
    std::vector<std::pair<std::string, int>> sections;
    std::stringstream fields(report.substr(std::string("dsp sync:A0101:").size()));
    std::string field;
    while (std::getline(fields, field, ':')) {
        if (!field.empty() && (std::isalpha(static_cast<unsigned char>(field[0])) != 0)) {
            sections.push_back({field, 0});
        } else if (field == "[ok]") {
            sections.push_back({field, 0});
        } else if (!sections.empty()) {
            ++sections.back().second;
        }
    }
    return sections;
}

const std::vector<std::string> kReadOrder = [] {
    std::vector<std::string> order = {"getSpeakerOutPut", "getMasterVolume"};
    for (const char* op :
         {"getChannelGain", "getEqualizer", "getBassTreble", "getFilter", "getSpeakerDelay"}) {
        order.insert(order.end(), audiosim::kChannels, op);
    }
    order.push_back("getLoudness");
    order.insert(order.end(), audiosim::kChannels, "getBiquad");
    return order;
}();

// The channel mask a recorded per-channel read addressed.
uint32_t maskOf(const audiosim::Call& call) {
    if (call.op == "getSpeakerDelay") return static_cast<uint32_t>(call.ints.at(0));
    return call.recordAs<uint32_t>();  // channelMask leads every per-channel record
}

TEST(SyncReportTest, ReportsTheWholeStateInReadOrder) {
    DspHarness dsp;
    const State state = knownState();
    dsp.service().setState(state);
    const DspHarness::Result r = dsp.run("sync\n");
    const std::string expected = expectedReport(state, 1);
    EXPECT_EQ(expected, r.bytes);
    EXPECT_EQ(static_cast<int>(expected.size()), r.count);  // no NUL counted or sent
    EXPECT_EQ(0, r.bytes.compare(0, 51, "dsp sync:A0101:vol:1:40:1:2:3:4:5:6:delay:0.250000:"));
    EXPECT_NE(std::string::npos, r.bytes.find(":ftr:1:2:3:4:-100:6:11:12:13:14:-200:16:"));
    EXPECT_NE(std::string::npos, r.bytes.find(":loud:3:7:11:bq:0:100:-12.500000:0.500000:0:0:0:"));

    ASSERT_EQ(kReadOrder, dsp.calls());
    std::vector<audiosim::Call> calls = dsp.callRecords();
    int channel = 0;
    for (size_t i = 2; i < calls.size(); ++i) {
        if (calls[i].op == "getLoudness") continue;
        EXPECT_EQ(1u << channel, maskOf(calls[i])) << i << " " << calls[i].op;
        channel = (channel + 1) % audiosim::kChannels;
    }
    EXPECT_FALSE(dsp.logged("ERR"));
    EXPECT_FALSE(dsp.logged("WRN"));

    const std::vector<std::pair<std::string, int>> counts = {
        {"vol", 8},  {"delay", 6}, {"eq", 144}, {"eqbt", 24},
        {"ftr", 36}, {"loud", 3},  {"bq", 840}, {"[ok]", 0}};
    EXPECT_EQ(counts, sectionCounts(r.bytes));

    // Words after the item make no difference.
    EXPECT_EQ(expected, dsp.run("sync 1 two\r").bytes);
}

TEST(SyncReportTest, SpeakerOutputMaskMapsToTheLayoutCode) {
    const struct {
        uint32_t mask;
        int code;
        const char* warning;  // nullptr: none
    } cases[] = {
        {0x0F, 0, nullptr},
        {0x2F, 1, nullptr},
        {0x03, 2, nullptr},
        {0x07, 0, "WRN: unsupported speak output channel 7.\n"},
        {0x3F, 0, "WRN: unsupported speak output channel 3f.\n"},
    };
    DspHarness dsp;
    for (const auto& c : cases) {
        State state = State::defaults();
        state.speakerOutput = c.mask;
        dsp.service().setState(state);
        const DspHarness::Result r = dsp.run("sync\n");
        EXPECT_EQ(expectedReport(state, c.code), r.bytes) << c.mask;
        EXPECT_EQ(c.warning != nullptr, dsp.logged("WRN")) << c.mask;
        if (c.warning != nullptr) {
            EXPECT_TRUE(dsp.logged(c.warning)) << c.mask;
        }
    }
}

TEST(SyncReportTest, RefusedReadAnswersFailAloneAndStopsReading) {
    DspHarness dsp;
    for (const char* op : {"getSpeakerOutPut", "getMasterVolume", "getEqualizer", "getBassTreble",
                           "getFilter", "getSpeakerDelay", "getLoudness", "getBiquad"}) {
        dsp.service().setFailing(op);
        const DspHarness::Result r = dsp.run("sync\n");
        dsp.service().setFailing(op, false);
        EXPECT_EQ(kFailReply, r.bytes) << op;
        // A refused biquad read is logged with the equalizer's message.
        const std::string logged = op == std::string("getBiquad") ? "getEqualizer" : op;
        EXPECT_TRUE(dsp.logged("ERR: " + logged + " failed\n")) << op;
        // The reads stop at the first refusal.
        const size_t first =
            std::find(kReadOrder.begin(), kReadOrder.end(), op) - kReadOrder.begin();
        EXPECT_EQ(std::vector<std::string>(kReadOrder.begin(), kReadOrder.begin() + first + 1),
                  dsp.calls())
            << op;
    }
}

TEST(SyncReportTest, UnreadableChannelGainIsReportedAsZero) {
    DspHarness dsp;
    const State state = knownState();
    dsp.service().setState(state);
    dsp.service().setFailing("getChannelGain");
    const DspHarness::Result r = dsp.run("sync\n");
    State unread = state;
    for (uint8_t& gain : unread.channelGain) gain = 0;
    EXPECT_EQ(expectedReport(unread, 1), r.bytes);
    EXPECT_EQ(kReadOrder, dsp.calls());
    int errors = 0;
    for (const std::string& line : dsp.log()) {
        errors += line.find("ERR: getChannelGain failed\n") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(audiosim::kChannels, errors);
}

TEST(SyncReportTest, SmallReplyCapacityCutsTheReportAndItsEndMark) {
    DspHarness dsp;
    dsp.service().setState(knownState());
    const std::string whole = dsp.run("sync\n").bytes;
    const int size = static_cast<int>(whole.size());
    const struct {
        int capacity;
        int length;
    } cases[] = {{64, 62}, {size + 1, size - 1}, {size + 2, size}, {1, 0}};
    for (const auto& c : cases) {
        const DspHarness::Result r = dsp.run("sync\n", c.capacity);
        EXPECT_EQ(c.length, r.count) << c.capacity;
        EXPECT_EQ(whole.substr(0, static_cast<size_t>(c.length)), r.bytes) << c.capacity;
    }
}

// Values at their widest make the report outgrow the 8192-byte reply: it is
// cut at 8190 characters without its end mark, never silently inside.
TEST(SyncReportTest, ReportBeyondTheReplyIsCutWithoutEndMark) {
    DspHarness dsp;
    State state = State::defaults();
    for (BiquadParam& bq : state.biquad) {
        for (BiquadBand& band : bq.band) {
            const int32_t wide = std::numeric_limits<int32_t>::min();
            band = {wide, 65535, -1.0e9f, 1.0e9f, wide, wide, wide};
        }
    }
    dsp.service().setState(state);
    const DspHarness::Result whole = dsp.run("sync\n", 1 << 16);
    EXPECT_EQ(expectedReport(state, 0), whole.bytes);
    const DspHarness::Result cut = dsp.run("sync\n");
    EXPECT_EQ(8190, cut.count);
    EXPECT_EQ(whole.bytes.substr(0, 8190), cut.bytes);
}

}  // namespace
