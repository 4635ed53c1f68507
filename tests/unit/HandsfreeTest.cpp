// "hfaec" and "hfsync" driven through the "dsp" group on the simulated service.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "ItemTables.h"

namespace {

using audiosim::State;

// A hands-free report with typical values: 492 characters.
const char kExampleReport[] =
    "dsp hfsync:A0101:opgain:12.000000:12.000000:pgagain:6.500000:6.500000:seq:1:100:250:500:1000:"
    "2000:4000:8000:16000:-3.500000:0.000000:1.250000:0.000000:0.000000:0.000000:0.000000:2.000000:"
    "0.707000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:req:0:100:250:500:"
    "1000:2000:4000:8000:16000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:"
    "0.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:1.000000:duplex:2:nr:"
    "3:nlp:1:0:4:uplink:-1.500000:[ok]";

// Every hands-free setting 0: 444 characters.
const char kZeroReport[] =
    "dsp hfsync:A0101:opgain:0.000000:0.000000:pgagain:0.000000:0.000000:seq:0:0:0:0:0:0:0:0:0:"
    "0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:"
    "0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:req:0:0:0:0:0:0:0:0:0:0.000000:0.000000:"
    "0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:0.000000:"
    "0.000000:0.000000:0.000000:0.000000:duplex:0:nr:0:nlp:0:0:0:uplink:0.000000:[ok]";

State exampleState() {
    State s = State::defaults();
    s.adcOpGain[0] = s.adcOpGain[1] = 12.0f;
    s.adcPgaGain[0] = s.adcPgaGain[1] = 6.5f;
    HandsfreeEQParam& seq = s.handsfreeEQ[0];
    seq.en = 1;
    const float gains[8] = {-3.5f, 0, 1.25f, 0, 0, 0, 0, 2};
    std::memcpy(seq.gain, gains, sizeof gains);
    seq.q[0] = 0.707f;
    s.duplexOfAEC = 2;
    s.nrAttenuation = 3;
    s.nlp.pfWeightIdx = 1;
    s.nlp.cnEstiIdx = 0;
    s.nlp.cnExecIdx = 4;
    s.upLinkGain = -1.5f;
    return s;
}

State zeroState() {
    State s = State::defaults();
    for (HandsfreeEQParam& eq : s.handsfreeEQ) {
        const uint32_t which = eq.which;
        std::memset(&eq, 0, sizeof eq);
        eq.which = which;
    }
    return s;
}

// --- hfsync ---

TEST(HandsfreeSyncTest, ReportsKnownLinesByteForByte) {
    DspHarness dsp;
    ASSERT_EQ(492u, std::strlen(kExampleReport));
    ASSERT_EQ(444u, std::strlen(kZeroReport));
    const struct {
        State state;
        const char* report;
    } cases[] = {{exampleState(), kExampleReport}, {zeroState(), kZeroReport}};
    for (const auto& c : cases) {
        dsp.service().setState(c.state);
        for (const char* text : {"hfsync\n", "hfsync 1 two\n"}) {
            const DspHarness::Result r = dsp.run(text);
            EXPECT_EQ(c.report, r.bytes) << text;
            EXPECT_EQ(static_cast<int>(std::strlen(c.report)), r.count) << text;
        }
    }
}

// The reads, in order; each refused one ends the report at once.
TEST(HandsfreeSyncTest, ReadsInOrderAndARefusedReadAnswersFailAlone) {
    DspHarness dsp;
    dsp.run("hfsync\n");
    const std::vector<std::string> order = {"getHandsfreeEQ", "getHandsfreeEQ", "getAdcOpGain",
                                            "getAdcPgaGain",  "getDuplexOfAEC", "getNRAttenuation",
                                            "getNLPConfig",   "getUpLinkGain"};
    ASSERT_EQ(order, dsp.calls());
    const std::vector<audiosim::Call> calls = dsp.callRecords();
    EXPECT_EQ(kHandsfreeSeq, calls[0].recordAs<HandsfreeEQParam>().which);
    EXPECT_EQ(kHandsfreeReq, calls[1].recordAs<HandsfreeEQParam>().which);
    EXPECT_EQ(std::vector<int64_t>{0}, calls[2].ints);
    EXPECT_EQ(std::vector<int64_t>{0}, calls[3].ints);
    EXPECT_EQ(Bytes().u32(7).zeros(12).data(), calls[6].bytes);  // every NLP field asked for

    for (size_t i : {0, 2, 3, 4, 5, 6, 7}) {
        const std::string& op = order[i];
        dsp.service().setFailing(op);
        const DspHarness::Result r = dsp.run("hfsync\n");
        dsp.service().setFailing(op, false);
        EXPECT_EQ(kFailReply, r.bytes) << op;
        EXPECT_TRUE(dsp.logged("ERR: " + op + " failed\n")) << op;
        EXPECT_EQ(std::vector<std::string>(order.begin(), order.begin() + i + 1), dsp.calls())
            << op;
    }
}

// Equalizers at their widest need more than 512 characters; the section
// still comes whole in a report that fits the reply.
TEST(HandsfreeSyncTest, WideEqualizerValuesAreNotCut) {
    DspHarness dsp;
    State state = zeroState();
    for (HandsfreeEQParam& eq : state.handsfreeEQ) {
        eq.en = 1;
        std::fill(std::begin(eq.cf), std::end(eq.cf), std::numeric_limits<int32_t>::min());
        std::fill(std::begin(eq.gain), std::end(eq.gain), -1.0e12f);
        std::fill(std::begin(eq.q), std::end(eq.q), 1.0e12f);
    }
    std::string equalizer = ":1";
    for (const char* value : {":-2147483648", ":-999999995904.000000", ":999999995904.000000"}) {
        for (int band = 0; band < 8; ++band) equalizer += value;
    }
    ASSERT_GT(2 * equalizer.size(), 512u);
    dsp.service().setState(state);
    EXPECT_EQ("dsp hfsync:A0101:opgain:0.000000:0.000000:pgagain:0.000000:0.000000:seq" +
                  equalizer + ":req" + equalizer + ":duplex:0:nr:0:nlp:0:0:0:uplink:0.000000:[ok]",
              dsp.run("hfsync\n").bytes);
}

// --- hfaec ---

TEST(HandsfreeAecTest, FailurePathsInCheckOrder) {
    const char kBadArgc[] = "bad argc number\n";
    const std::vector<std::string> op = {"getAdcOpGain", "setAdcOpGain"};
    const std::vector<std::string> pga = {"getAdcPgaGain", "setAdcPgaGain"};
    const std::vector<std::string> eq = {"getHandsfreeEQ"};
    DspHarness dsp;
    expectPaths(
        dsp,
        {
            {"hfaec\n", nullptr, {}, kBadArgc},
            {"hfaec seq en\n", nullptr, {}, kBadArgc},
            {"hfaec ADC MicOpGain 0 1\n", nullptr, {}, "bad hfaec ADC param\n"},
            {"hfaec adc MicOpGain 0 1 2\n", nullptr, {}, kBadArgc},
            {"hfaec adc Foo 0 1\n", nullptr, {}, "bad adc Foo param\n"},
            {"hfaec adc MicPgaGain 2 1\n",
             nullptr,
             {"getAdcPgaGain"},
             "channel(2) is not supported.\n"},
            {"hfaec adc MicOpGain -1 1\n",
             nullptr,
             {"getAdcOpGain"},
             "channel(-1) is not supported.\n"},
            {"hfaec nr nrAttenIdx 3 4\n", nullptr, {}, kBadArgc},
            {"hfaec nr attenuation 3\n", nullptr, {}, "bad nr attenuation param\n"},
            {"hfaec aec pfGainLimit 3\n", nullptr, {}, "bad aec pfGainLimit param\n"},
            {"hfaec aec pfGainLimitIdx 3 4\n", nullptr, {}, kBadArgc},
            {"hfaec uplink Gain 1\n", nullptr, {}, "bad uplink Gain param\n"},
            {"hfaec uplink gain 1 2\n", nullptr, {}, kBadArgc},
            {"hfaec nlp pfWeight 1\n", nullptr, {}, "bad nlp pfWeight param\n"},
            {"hfaec nlp cnExecIdx 1 2\n", nullptr, {}, kBadArgc},
            // The equalizer is read before its words are checked.
            {"hfaec seq en 1 2\n", nullptr, eq, kBadArgc},
            {"hfaec req cf 1\n", nullptr, eq, kBadArgc},
            {"hfaec req width 1 2\n", nullptr, eq, "bad seq width param\n"},
            // A band outside the record's eight is refused, nothing written.
            {"hfaec seq cf 8 100\n", nullptr, eq, "not support band(8)\n"},
            {"hfaec req gain -1 1\n", nullptr, eq, "not support band(-1)\n"},
            {"hfaec seq q 4294967296 1\n", nullptr, eq, "not support band(2147483647)\n"},
            // Refused service operations.
            {"hfaec adc MicOpGain 0 1\n",
             "getAdcOpGain",
             {"getAdcOpGain"},
             "getAdcOpGain failed\n"},
            {"hfaec adc MicOpGain 0 1\n", "setAdcOpGain", op, "setAdcOpGain failed\n"},
            {"hfaec adc MicPgaGain 1 1\n",
             "getAdcPgaGain",
             {"getAdcPgaGain"},
             "getAdcPgaGain failed\n"},
            {"hfaec adc MicPgaGain 1 1\n", "setAdcPgaGain", pga, "setAdcPgaGain failed\n"},
            {"hfaec nr nrAttenIdx 1\n",
             "setNRAttenuation",
             {"setNRAttenuation"},
             "setNRAttenuation failed\n"},
            {"hfaec aec pfGainLimitIdx 1\n",
             "setDuplexOfAEC",
             {"setDuplexOfAEC"},
             "setDuplexOfAEC failed\n"},
            {"hfaec uplink gain 1\n", "setUpLinkGain", {"setUpLinkGain"}, "setUpLinkGain failed\n"},
            {"hfaec nlp cnEstiIdx 1\n", "setNLPConfig", {"setNLPConfig"}, "setNLPConfig failed\n"},
            {"hfaec seq en 1\n", "getHandsfreeEQ", eq, "getHandsfreeEQ failed\n"},
            {"hfaec req q 1 1\n",
             "setHandsfreeEQ",
             {"getHandsfreeEQ", "setHandsfreeEQ"},
             "setHandsfreeEQ failed\n"},
        });
}

// What each form hands to its write (ReportE2ETest reads every form back
// through hfsync).
TEST(HandsfreeAecTest, WritesCarryTheExpectedArguments) {
    DspHarness dsp;
    State state = exampleState();
    state.adcOpGain[0] = 1.25f;
    dsp.service().setState(state);
    expectCalls(dsp, "setNRAttenuation", {{"hfaec nr nrAttenIdx 7\n", {}, {7}}});
    expectCalls(dsp, "setDuplexOfAEC", {{"hfaec aec pfGainLimitIdx -4\n", {}, {-4}}});
    expectCalls(dsp, "setUpLinkGain", {{"hfaec uplink gain x\r", {}, {}, {0.0}}});
    // Only the field the flag names carries a value.
    expectCalls(dsp, "setNLPConfig",
                {
                    {"hfaec nlp pfWeightIdx 9\n", Bytes().u32(1).u32(9).u32(0).u32(0).data()},
                    {"hfaec nlp cnEstiIdx 5\n", Bytes().u32(2).u32(0).u32(5).u32(0).data()},
                    {"hfaec nlp cnExecIdx 2\n", Bytes().u32(4).u32(0).u32(0).u32(2).data()},
                });

    // The gains of both microphones are read and written back together.
    ASSERT_EQ(kOkReply, dsp.run("hfaec adc MicOpGain 1 3.5\n").bytes);
    std::vector<audiosim::Call> calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(std::vector<int64_t>{0}, calls[0].ints);
    EXPECT_EQ(std::vector<int64_t>{0}, calls[1].ints);
    EXPECT_EQ((std::vector<double>{1.25, 3.5}), calls[1].reals);

    // The equalizer is addressed by `which` on the read and on the write.
    ASSERT_EQ(kOkReply, dsp.run("hfaec req en -1\n").bytes);
    calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(Bytes().u32(kHandsfreeReq).zeros(sizeof(HandsfreeEQParam) - 4).data(),
              calls[0].bytes);
    HandsfreeEQParam written = state.handsfreeEQ[1];
    written.en = 1;
    EXPECT_EQ(bytesOf(written), calls[1].bytes);  // the rest as read
}

}  // namespace
