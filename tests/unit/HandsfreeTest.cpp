// "hfaec" and "hfsync" driven through the "dsp" group on the simulated service.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "DspHarness.h"

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

TEST(HandsfreeSyncTest, ReadsInOrderWithTheirArguments) {
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
    const NLPConfigParam nlp = calls[6].recordAs<NLPConfigParam>();
    EXPECT_EQ(7u, nlp.flags);
    EXPECT_EQ(0, nlp.pfWeightIdx);
    EXPECT_EQ(0, nlp.cnEstiIdx);
    EXPECT_EQ(0, nlp.cnExecIdx);
}

TEST(HandsfreeSyncTest, RefusedReadAnswersFailAlone) {
    DspHarness dsp;
    dsp.service().setState(exampleState());
    for (const char* op : {"getHandsfreeEQ", "getAdcOpGain", "getAdcPgaGain", "getDuplexOfAEC",
                           "getNRAttenuation", "getNLPConfig", "getUpLinkGain"}) {
        dsp.service().setFailing(op);
        const DspHarness::Result r = dsp.run("hfsync\n");
        dsp.service().setFailing(op, false);
        EXPECT_EQ(7, r.count) << op;
        EXPECT_EQ(kFailReply, r.bytes) << op;
        EXPECT_TRUE(dsp.logged(std::string("ERR: ") + op + " failed\n")) << op;
        EXPECT_EQ(op, dsp.calls().back()) << op;
    }
}

TEST(HandsfreeSyncTest, SmallReplyCapacityCutsTheLine) {
    DspHarness dsp;
    dsp.service().setState(exampleState());
    const std::string whole(kExampleReport);
    for (int capacity : {100, 493, 494, 2}) {
        const DspHarness::Result r = dsp.run("hfsync\n", capacity);
        const size_t length = std::min(whole.size(), static_cast<size_t>(capacity - 2));
        EXPECT_EQ(static_cast<int>(length), r.count) << capacity;
        EXPECT_EQ(whole.substr(0, length), r.bytes) << capacity;
    }
}

// Equalizers at their widest need more than 512 characters; the section
// still comes whole in a report that fits the reply.
TEST(HandsfreeSyncTest, WideEqualizerValuesAreNotCut) {
    DspHarness dsp;
    State state = zeroState();
    std::string section;
    for (HandsfreeEQParam& eq : state.handsfreeEQ) {
        eq.en = 1;
        section += eq.which == 0 ? "seq:1" : ":req:1";
        for (int32_t& cf : eq.cf) {
            cf = std::numeric_limits<int32_t>::min();
            section += ":-2147483648";
        }
        for (float& value : eq.gain) {
            value = -1.0e12f;
            section += ":-999999995904.000000";
        }
        for (float& value : eq.q) {
            value = 1.0e12f;
            section += ":999999995904.000000";
        }
    }
    ASSERT_GT(section.size(), 512u);
    dsp.service().setState(state);
    const DspHarness::Result r = dsp.run("hfsync\n");
    EXPECT_EQ(std::string("dsp hfsync:A0101:opgain:0.000000:0.000000:pgagain:0.000000:0.000000:") +
                  section + ":duplex:0:nr:0:nlp:0:0:0:uplink:0.000000:[ok]",
              r.bytes);
}

// --- hfaec ---

struct AecCase {
    const char* text;  // after "dsp"
    std::vector<std::string> calls;
    const char* error;                   // nullptr: the command succeeds
    std::function<void(State&)> change;  // what a success changes
};

// Every hands-free value that hfaec can reach, compared byte for byte.
void expectHandsfreeEqual(const State& expected, const State& actual, const std::string& what) {
    EXPECT_EQ(0, std::memcmp(expected.handsfreeEQ, actual.handsfreeEQ, sizeof expected.handsfreeEQ))
        << what;
    EXPECT_EQ(0, std::memcmp(&expected.nlp, &actual.nlp, sizeof expected.nlp)) << what;
    EXPECT_EQ(expected.adcOpGain[0], actual.adcOpGain[0]) << what;
    EXPECT_EQ(expected.adcOpGain[1], actual.adcOpGain[1]) << what;
    EXPECT_EQ(expected.adcPgaGain[0], actual.adcPgaGain[0]) << what;
    EXPECT_EQ(expected.adcPgaGain[1], actual.adcPgaGain[1]) << what;
    EXPECT_EQ(expected.upLinkGain, actual.upLinkGain) << what;
    EXPECT_EQ(expected.duplexOfAEC, actual.duplexOfAEC) << what;
    EXPECT_EQ(expected.nrAttenuation, actual.nrAttenuation) << what;
}

void runAecCases(const std::vector<AecCase>& cases) {
    DspHarness dsp;
    for (const AecCase& c : cases) {
        // Distinct starting values, so a pass-through is told from a reset.
        State before = exampleState();
        before.adcOpGain[1] = 11.0f;
        before.adcPgaGain[0] = 5.5f;
        before.handsfreeEQ[1].q[6] = 2.0f;
        dsp.service().setState(before);
        const DspHarness::Result r = dsp.run(c.text);
        EXPECT_EQ(c.error == nullptr ? kOkReply : kFailReply, r.bytes) << c.text;
        EXPECT_EQ(c.calls, dsp.calls()) << c.text;
        if (c.error != nullptr) {
            EXPECT_TRUE(dsp.logged(std::string("ERR: ") + c.error)) << c.text;
        } else {
            EXPECT_FALSE(dsp.logged("ERR")) << c.text;
        }
        State expected = before;
        if (c.change) {
            c.change(expected);
        }
        expectHandsfreeEqual(expected, dsp.service().state(), c.text);
    }
}

const std::vector<std::string> kOpPair = {"getAdcOpGain", "setAdcOpGain"};
const std::vector<std::string> kPgaPair = {"getAdcPgaGain", "setAdcPgaGain"};
const std::vector<std::string> kEqPair = {"getHandsfreeEQ", "setHandsfreeEQ"};
const std::vector<std::string> kEqRead = {"getHandsfreeEQ"};

TEST(HandsfreeAecTest, EachFormChangesItsOneValue) {
    runAecCases({
        {"hfaec adc MicOpGain 1 3.5\n", kOpPair, nullptr, [](State& s) { s.adcOpGain[1] = 3.5f; }},
        {"hfaec adc MicOpGain 0 -2.25\n", kOpPair, nullptr,
         [](State& s) { s.adcOpGain[0] = -2.25f; }},
        {"hfaec adc MicPgaGain 0 1\n", kPgaPair, nullptr, [](State& s) { s.adcPgaGain[0] = 1; }},
        {"hfaec adc MicPgaGain 1 x\n", kPgaPair, nullptr, [](State& s) { s.adcPgaGain[1] = 0; }},
        {"hfaec nr nrAttenIdx 7\n",
         {"setNRAttenuation"},
         nullptr,
         [](State& s) { s.nrAttenuation = 7; }},
        {"hfaec aec pfGainLimitIdx -4\n",
         {"setDuplexOfAEC"},
         nullptr,
         [](State& s) { s.duplexOfAEC = -4; }},
        {"hfaec aec pfGainLimitIdx x\n",
         {"setDuplexOfAEC"},
         nullptr,
         [](State& s) { s.duplexOfAEC = 0; }},
        {"hfaec uplink gain -6.75\n",
         {"setUpLinkGain"},
         nullptr,
         [](State& s) { s.upLinkGain = -6.75f; }},
        {"hfaec nlp pfWeightIdx 9\n",
         {"setNLPConfig"},
         nullptr,
         [](State& s) { s.nlp.pfWeightIdx = 9; }},
        {"hfaec nlp cnEstiIdx 5\n",
         {"setNLPConfig"},
         nullptr,
         [](State& s) { s.nlp.cnEstiIdx = 5; }},
        {"hfaec nlp cnExecIdx 2\n",
         {"setNLPConfig"},
         nullptr,
         [](State& s) { s.nlp.cnExecIdx = 2; }},
        {"hfaec seq en 5\n", kEqPair, nullptr, [](State& s) { s.handsfreeEQ[0].en = 1; }},
        {"hfaec seq en 0\n", kEqPair, nullptr, [](State& s) { s.handsfreeEQ[0].en = 0; }},
        {"hfaec req en -1\n", kEqPair, nullptr, [](State& s) { s.handsfreeEQ[1].en = 1; }},
        {"hfaec req q 7 0.707\n", kEqPair, nullptr,
         [](State& s) { s.handsfreeEQ[1].q[7] = 0.707f; }},
        {"hfaec seq cf 0 120\n", kEqPair, nullptr, [](State& s) { s.handsfreeEQ[0].cf[0] = 120; }},
        {"hfaec req cf 3 40000\n", kEqPair, nullptr,
         [](State& s) { s.handsfreeEQ[1].cf[3] = 40000; }},
        {"hfaec seq gain 5 -3.5\n", kEqPair, nullptr,
         [](State& s) { s.handsfreeEQ[0].gain[5] = -3.5f; }},
        {"hfaec req gain 7 1.25\r", kEqPair, nullptr,
         [](State& s) { s.handsfreeEQ[1].gain[7] = 1.25f; }},
    });
}

TEST(HandsfreeAecTest, BadWordsAreRefusedInCheckOrder) {
    runAecCases({
        {"hfaec\n", {}, "bad argc number\n", nullptr},
        {"hfaec seq en\n", {}, "bad argc number\n", nullptr},
        {"hfaec foo 1 2\n", {}, "bad hfaec foo param\n", nullptr},
        {"hfaec ADC MicOpGain 0 1\n", {}, "bad hfaec ADC param\n", nullptr},
        {"hfaec adc MicOpGain 0\n", {}, "bad argc number\n", nullptr},
        {"hfaec adc MicOpGain 0 1 2\n", {}, "bad argc number\n", nullptr},
        {"hfaec adc Foo 0 1\n", {}, "bad adc Foo param\n", nullptr},
        {"hfaec adc Foo 7 1\n", {}, "bad adc Foo param\n", nullptr},
        {"hfaec adc MicPgaGain 2 1\n",
         {"getAdcPgaGain"},
         "channel(2) is not supported.\n",
         nullptr},
        {"hfaec adc MicOpGain -1 1\n",
         {"getAdcOpGain"},
         "channel(-1) is not supported.\n",
         nullptr},
        {"hfaec nr nrAttenIdx 3 4\n", {}, "bad argc number\n", nullptr},
        {"hfaec nr attenuation 3\n", {}, "bad nr attenuation param\n", nullptr},
        {"hfaec aec pfGainLimit 3\n", {}, "bad aec pfGainLimit param\n", nullptr},
        {"hfaec aec pfGainLimitIdx 3 4\n", {}, "bad argc number\n", nullptr},
        {"hfaec uplink Gain 1\n", {}, "bad uplink Gain param\n", nullptr},
        {"hfaec uplink gain 1 2\n", {}, "bad argc number\n", nullptr},
        {"hfaec nlp pfWeight 1\n", {}, "bad nlp pfWeight param\n", nullptr},
        {"hfaec nlp cnExecIdx 1 2\n", {}, "bad argc number\n", nullptr},
        // The equalizer is read before its words are checked.
        {"hfaec seq en 1 2\n", kEqRead, "bad argc number\n", nullptr},
        {"hfaec req cf 1\n", kEqRead, "bad argc number\n", nullptr},
        {"hfaec req width 1 2\n", kEqRead, "bad seq width param\n", nullptr},
        {"hfaec seq Q 1 2\n", kEqRead, "bad seq Q param\n", nullptr},
        // A band outside the record's eight is refused, nothing written.
        {"hfaec seq cf 8 100\n", kEqRead, "not support band(8)\n", nullptr},
        {"hfaec req gain -1 1\n", kEqRead, "not support band(-1)\n", nullptr},
        {"hfaec seq q 4294967296 1\n", kEqRead, "not support band(2147483647)\n", nullptr},
    });
}

TEST(HandsfreeAecTest, RefusedServiceCallAnswersFail) {
    const struct {
        const char* text;
        const char* failing;
        std::vector<std::string> calls;
    } cases[] = {
        {"hfaec adc MicOpGain 0 1\n", "getAdcOpGain", {"getAdcOpGain"}},
        {"hfaec adc MicOpGain 0 1\n", "setAdcOpGain", kOpPair},
        {"hfaec adc MicPgaGain 1 1\n", "getAdcPgaGain", {"getAdcPgaGain"}},
        {"hfaec adc MicPgaGain 1 1\n", "setAdcPgaGain", kPgaPair},
        {"hfaec nr nrAttenIdx 1\n", "setNRAttenuation", {"setNRAttenuation"}},
        {"hfaec aec pfGainLimitIdx 1\n", "setDuplexOfAEC", {"setDuplexOfAEC"}},
        {"hfaec uplink gain 1\n", "setUpLinkGain", {"setUpLinkGain"}},
        {"hfaec nlp cnEstiIdx 1\n", "setNLPConfig", {"setNLPConfig"}},
        {"hfaec seq en 1\n", "getHandsfreeEQ", kEqRead},
        {"hfaec req q 1 1\n", "setHandsfreeEQ", kEqPair},
    };
    DspHarness dsp;
    for (const auto& c : cases) {
        dsp.service().setFailing(c.failing);
        const DspHarness::Result r = dsp.run(c.text);
        dsp.service().setFailing(c.failing, false);
        EXPECT_EQ(kFailReply, r.bytes) << c.text << c.failing;
        EXPECT_EQ(c.calls, dsp.calls()) << c.text << c.failing;
        EXPECT_TRUE(dsp.logged(std::string("ERR: ") + c.failing + " failed\n"))
            << c.text << c.failing;
    }
}

TEST(HandsfreeAecTest, WritesCarryTheExpectedArguments) {
    DspHarness dsp;
    State state = State::defaults();
    state.adcOpGain[0] = 1.25f;
    state.adcOpGain[1] = 2.0f;
    dsp.service().setState(state);

    ASSERT_EQ(kOkReply, dsp.run("hfaec adc MicOpGain 1 3.5\n").bytes);
    std::vector<audiosim::Call> calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(std::vector<int64_t>{0}, calls[0].ints);
    EXPECT_EQ(std::vector<int64_t>{0}, calls[1].ints);
    EXPECT_EQ((std::vector<double>{1.25, 3.5}), calls[1].reals);

    // Only the field the flag names carries a value.
    ASSERT_EQ(kOkReply, dsp.run("hfaec nlp cnExecIdx 2\n").bytes);
    const NLPConfigParam nlp = dsp.callRecords().at(0).recordAs<NLPConfigParam>();
    EXPECT_EQ(kNlpCnExecIdx, nlp.flags);
    EXPECT_EQ(0, nlp.pfWeightIdx);
    EXPECT_EQ(0, nlp.cnEstiIdx);
    EXPECT_EQ(2, nlp.cnExecIdx);

    // The equalizer is addressed by `which` on the read and on the write.
    ASSERT_EQ(kOkReply, dsp.run("hfaec req cf 2 600\n").bytes);
    calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(kHandsfreeReq, calls[0].recordAs<HandsfreeEQParam>().which);
    const HandsfreeEQParam written = calls[1].recordAs<HandsfreeEQParam>();
    EXPECT_EQ(kHandsfreeReq, written.which);
    EXPECT_EQ(600, written.cf[2]);
    EXPECT_EQ(250, written.cf[1]);  // the rest as read
}

}  // namespace
