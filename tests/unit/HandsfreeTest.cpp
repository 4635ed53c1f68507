// "hfaec" and "hfsync" driven through the "dsp" group on the simulated service.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
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

TEST(HandsfreeSyncTest, SmallReplyCapacityCutsTheLine) {
    DspHarness dsp;
    dsp.service().setState(exampleState());
    const struct {
        int capacity;
        size_t length;  // the NUL and one byte more stay free
    } cases[] = {{100, 98}, {493, 491}, {494, 492}};
    for (const auto& c : cases) {
        const DspHarness::Result r = dsp.run("hfsync\n", c.capacity);
        EXPECT_EQ(std::string(kExampleReport, c.length), r.bytes) << c.capacity;
        EXPECT_EQ(static_cast<int>(c.length), r.count) << c.capacity;
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
    std::function<void(State&)> change;  // what a success changes
    const char* error = nullptr;         // the ERR message of a failure
};

// Runs each case from the same state and checks the reply, the calls, the
// ERR message and, through the hands-free report, every value afterwards.
void runAecCases(const std::vector<AecCase>& cases) {
    DspHarness dsp;
    for (const AecCase& c : cases) {
        SCOPED_TRACE(c.text);
        // Distinct starting values, so a pass-through is told from a reset.
        State before = exampleState();
        before.adcOpGain[1] = 11.0f;
        before.adcPgaGain[0] = 5.5f;
        before.handsfreeEQ[1].q[6] = 2.0f;
        State expected = before;
        if (c.change) {
            c.change(expected);
        }
        dsp.service().setState(expected);
        const std::string expectedReport = dsp.run("hfsync\n").bytes;
        dsp.service().setState(before);
        EXPECT_EQ(c.error == nullptr ? kOkReply : kFailReply, dsp.run(c.text).bytes);
        EXPECT_EQ(c.calls, dsp.calls());
        EXPECT_EQ(c.error != nullptr, dsp.logged("ERR"));
        EXPECT_TRUE(c.error == nullptr || dsp.logged(std::string("ERR: ") + c.error)) << c.error;
        EXPECT_EQ(expectedReport, dsp.run("hfsync\n").bytes);
    }
}

const std::vector<std::string> kOpPair = {"getAdcOpGain", "setAdcOpGain"};
const std::vector<std::string> kPgaPair = {"getAdcPgaGain", "setAdcPgaGain"};
const std::vector<std::string> kEqPair = {"getHandsfreeEQ", "setHandsfreeEQ"};
const std::vector<std::string> kEqRead = {"getHandsfreeEQ"};

TEST(HandsfreeAecTest, EachFormChangesItsOneValue) {
    runAecCases({
        {"hfaec adc MicOpGain 1 3.5\n", kOpPair, [](State& s) { s.adcOpGain[1] = 3.5f; }},
        {"hfaec adc MicPgaGain 0 x\n", kPgaPair, [](State& s) { s.adcPgaGain[0] = 0; }},
        {"hfaec nr nrAttenIdx 7\n", {"setNRAttenuation"}, [](State& s) { s.nrAttenuation = 7; }},
        {"hfaec aec pfGainLimitIdx -4\n", {"setDuplexOfAEC"}, [](State& s) { s.duplexOfAEC = -4; }},
        {"hfaec uplink gain -6.75\n", {"setUpLinkGain"}, [](State& s) { s.upLinkGain = -6.75f; }},
        {"hfaec nlp pfWeightIdx 9\n", {"setNLPConfig"}, [](State& s) { s.nlp.pfWeightIdx = 9; }},
        {"hfaec nlp cnEstiIdx 5\n", {"setNLPConfig"}, [](State& s) { s.nlp.cnEstiIdx = 5; }},
        {"hfaec nlp cnExecIdx 2\n", {"setNLPConfig"}, [](State& s) { s.nlp.cnExecIdx = 2; }},
        {"hfaec seq en 0\n", kEqPair, [](State& s) { s.handsfreeEQ[0].en = 0; }},
        {"hfaec req en -1\n", kEqPair, [](State& s) { s.handsfreeEQ[1].en = 1; }},
        {"hfaec req q 7 0.707\n", kEqPair, [](State& s) { s.handsfreeEQ[1].q[7] = 0.707f; }},
        {"hfaec req cf 3 40000\n", kEqPair, [](State& s) { s.handsfreeEQ[1].cf[3] = 40000; }},
        {"hfaec seq gain 7 1.25\r", kEqPair, [](State& s) { s.handsfreeEQ[0].gain[7] = 1.25f; }},
    });
}

TEST(HandsfreeAecTest, FailurePathsInCheckOrder) {
    runAecCases({
        {"hfaec\n", {}, nullptr, "bad argc number\n"},
        {"hfaec seq en\n", {}, nullptr, "bad argc number\n"},
        {"hfaec ADC MicOpGain 0 1\n", {}, nullptr, "bad hfaec ADC param\n"},
        {"hfaec adc MicOpGain 0 1 2\n", {}, nullptr, "bad argc number\n"},
        {"hfaec adc Foo 0 1\n", {}, nullptr, "bad adc Foo param\n"},
        {"hfaec adc MicPgaGain 2 1\n",
         {"getAdcPgaGain"},
         nullptr,
         "channel(2) is not supported.\n"},
        {"hfaec adc MicOpGain -1 1\n",
         {"getAdcOpGain"},
         nullptr,
         "channel(-1) is not supported.\n"},
        {"hfaec nr nrAttenIdx 3 4\n", {}, nullptr, "bad argc number\n"},
        {"hfaec nr attenuation 3\n", {}, nullptr, "bad nr attenuation param\n"},
        {"hfaec aec pfGainLimit 3\n", {}, nullptr, "bad aec pfGainLimit param\n"},
        {"hfaec aec pfGainLimitIdx 3 4\n", {}, nullptr, "bad argc number\n"},
        {"hfaec uplink Gain 1\n", {}, nullptr, "bad uplink Gain param\n"},
        {"hfaec uplink gain 1 2\n", {}, nullptr, "bad argc number\n"},
        {"hfaec nlp pfWeight 1\n", {}, nullptr, "bad nlp pfWeight param\n"},
        {"hfaec nlp cnExecIdx 1 2\n", {}, nullptr, "bad argc number\n"},
        // The equalizer is read before its words are checked.
        {"hfaec seq en 1 2\n", kEqRead, nullptr, "bad argc number\n"},
        {"hfaec req cf 1\n", kEqRead, nullptr, "bad argc number\n"},
        {"hfaec req width 1 2\n", kEqRead, nullptr, "bad seq width param\n"},
        // A band outside the record's eight is refused, nothing written.
        {"hfaec seq cf 8 100\n", kEqRead, nullptr, "not support band(8)\n"},
        {"hfaec req gain -1 1\n", kEqRead, nullptr, "not support band(-1)\n"},
        {"hfaec seq q 4294967296 1\n", kEqRead, nullptr, "not support band(2147483647)\n"},
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
        expectPath(dsp,
                   {c.text, c.failing, c.calls, (std::string(c.failing) + " failed\n").c_str()});
    }
}

// The records and values handed to the writes.
TEST(HandsfreeAecTest, WritesCarryTheExpectedArguments) {
    DspHarness dsp;
    State state = exampleState();
    state.adcOpGain[0] = 1.25f;
    dsp.service().setState(state);
    expectCalls(dsp, "setNLPConfig",
                {{"hfaec nlp cnExecIdx 2\n", Bytes().u32(4).u32(0).u32(0).u32(2).data()}});

    ASSERT_EQ(kOkReply, dsp.run("hfaec adc MicOpGain 1 3.5\n").bytes);
    std::vector<audiosim::Call> calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(std::vector<int64_t>{0}, calls[0].ints);
    EXPECT_EQ(std::vector<int64_t>{0}, calls[1].ints);
    EXPECT_EQ((std::vector<double>{1.25, 3.5}), calls[1].reals);

    // The equalizer is addressed by `which` on the read and on the write.
    ASSERT_EQ(kOkReply, dsp.run("hfaec req cf 2 600\n").bytes);
    calls = dsp.callRecords();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(Bytes().u32(kHandsfreeReq).zeros(sizeof(HandsfreeEQParam) - 4).data(),
              calls[0].bytes);
    HandsfreeEQParam written = state.handsfreeEQ[1];
    written.cf[2] = 600;
    EXPECT_EQ(bytesOf(written), calls[1].bytes);  // the rest as read
}

}  // namespace
