// dspctl's report decoders on lines made by the real "sync" and "hfsync"
// items: known values, negative and extreme ones, the capacity cut at every
// position, and lines that are no report.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "JsonValue.h"
#include "ReportDecoder.h"
#include "ReportTable.h"

namespace {

using audiosim::State;

// The value at a path of keys and indices, e.g. "bq/5/19/phase"; null when
// absent.
const JsonValue* at(const JsonValue& root, const std::string& path) {
    const JsonValue* value = &root;
    std::istringstream steps(path);
    std::string step;
    while (value != nullptr && std::getline(steps, step, '/')) {
        if (value->type() == JsonValue::kArray) {
            const size_t i = std::strtoul(step.c_str(), nullptr, 10);
            value = i < value->size() ? &value->at(i) : nullptr;
        } else {
            value = value->find(step);
        }
    }
    return value;
}

std::string textAt(const JsonValue& root, const std::string& path) {
    const JsonValue* value = at(root, path);
    return value != nullptr ? value->text() : "<absent>";
}

// Every scalar but "report" and "complete", in document order, which is the
// order of the report's fields.
void flatten(const JsonValue& value, std::vector<std::string>* out) {
    for (size_t i = 0; i < value.size(); ++i) {
        const JsonValue& child = value.at(i);
        if (value.type() == JsonValue::kObject &&
            (value.keyAt(i) == "report" || value.keyAt(i) == "complete")) {
            continue;
        }
        if (child.type() == JsonValue::kArray || child.type() == JsonValue::kObject) {
            flatten(child, out);
        } else {
            out->push_back(child.text());
        }
    }
}

// Fields of a cut line that arrived whole (each followed by ":"), less the
// labels, which the document does not carry as values.
size_t wholeValueFields(const std::string& cut, const std::vector<std::string>& labels) {
    size_t count = 0;
    size_t start = 0;
    for (size_t colon = cut.find(':'); colon != std::string::npos;
         start = colon + 1, colon = cut.find(':', start)) {
        const std::string field = cut.substr(start, colon - start);
        bool label = false;
        for (const std::string& l : labels) label = label || field == l;
        if (!label) ++count;
    }
    return count;
}

State wideState() {
    State s = State::defaults();
    s.speakerOutput = 0x03;  // layout 2, "2.0"
    s.masterVolume = 255;
    s.channelGain[5] = 255;
    s.speakerDelay[1] = -1.25f;
    s.equalizer[2].gain[3] = -3.5f;
    s.equalizer[2].cf[7] = 65535;
    s.filter[4].value5 = -1;
    s.filter[4].value1 = 65535;
    s.loudness = {1, 2, 65535};
    s.bassTreble[3].gain[1] = -0.5f;
    BiquadBand& band = s.biquad[5].band[19];
    band.type = -7;
    band.gain = -3.5f;
    band.q = 0.707f;
    band.phase = std::numeric_limits<int32_t>::min();
    // Large values make the biquad section, and so the report, long.
    s.biquad[0].band[0].gain = -1e30f;
    return s;
}

TEST(DspctlReportDecoderTest, SyncKeepsSignsWidthsAndTheReportsFieldNames) {
    DspHarness dsp;
    dsp.service().setState(wideState());
    const std::string line = dsp.run("sync\n").bytes;
    const DecodedReport report = decodeSyncReport(line);
    ASSERT_EQ(DecodedReport::kComplete, report.status) << report.problem;
    const JsonValue& v = report.values;
    const struct {
        const char* path;
        const char* text;
    } expected[] = {
        {"report", "sync"},
        {"complete", "true"},
        {"tag", "A0101"},
        {"vol/layout", "2"},
        {"vol/master", "255"},
        {"vol/gain/5", "255"},
        {"vol/gain/0", "0"},
        {"delay/1", "-1.250000"},
        {"eq/2/gain/3", "-3.500000"},
        {"eq/2/cf/7", "65535"},
        {"eq/0/cf/0", "63"},
        {"eq/5/q/7", "1"},
        {"eqbt/3/gain/1", "-0.500000"},
        {"eqbt/0/cf/1", "10000"},
        {"ftr/4/value5", "-1"},
        {"ftr/4/value1", "65535"},
        {"loud/value3", "65535"},
        {"bq/5/19/type", "-7"},
        {"bq/5/19/gain", "-3.500000"},
        {"bq/5/19/q", "0.707000"},
        {"bq/5/19/phase", "-2147483648"},
        {"bq/5/19/cf", "1000"},
        {"bq/0/0/gain", "-1000000015047466219876688855040.000000"},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(e.text, textAt(v, e.path)) << e.path;
    }
    // Six channels, eight bands, twenty biquad bands: nothing more, nothing less.
    EXPECT_EQ(6u, at(v, "eq")->size());
    EXPECT_EQ(8u, at(v, "eq/5/gain")->size());
    EXPECT_EQ(6u, at(v, "bq")->size());
    EXPECT_EQ(20u, at(v, "bq/5")->size());
    std::vector<std::string> values;
    flatten(v, &values);
    EXPECT_EQ(1u + 8 + 6 + 144 + 24 + 36 + 3 + 840, values.size());
}

TEST(DspctlReportDecoderTest, FloatsThatAreNoJsonNumbersBecomeStrings) {
    DspHarness dsp;
    State s = State::defaults();
    s.speakerDelay[0] = std::numeric_limits<float>::infinity();
    s.speakerDelay[1] = -std::numeric_limits<float>::infinity();
    s.speakerDelay[2] = std::numeric_limits<float>::quiet_NaN();
    s.upLinkGain = std::numeric_limits<float>::quiet_NaN();
    dsp.service().setState(s);
    const DecodedReport sync = decodeSyncReport(dsp.run("sync\n").bytes);
    ASSERT_EQ(DecodedReport::kComplete, sync.status) << sync.problem;
    EXPECT_EQ("[\"inf\", \"-inf\", \"nan\", 0.000000, 0.000000, 0.000000]",
              at(sync.values, "delay")->write());
    const DecodedReport hfsync = decodeHfsyncReport(dsp.run("hfsync\n").bytes);
    ASSERT_EQ(DecodedReport::kComplete, hfsync.status) << hfsync.problem;
    EXPECT_EQ(JsonValue::kString, at(hfsync.values, "uplink")->type());
}

TEST(DspctlReportDecoderTest, HfsyncDocumentForKnownValues) {
    DspHarness dsp;
    State s = State::defaults();
    s.adcOpGain[0] = s.adcOpGain[1] = 12.0f;
    s.adcPgaGain[0] = 6.5f;
    s.adcPgaGain[1] = -1.0f;
    HandsfreeEQParam& seq = s.handsfreeEQ[0];
    seq.en = 1;
    seq.gain[0] = -3.5f;
    seq.q[0] = 0.707f;
    s.handsfreeEQ[1].cf[3] = -1200;
    s.duplexOfAEC = 2;
    s.nrAttenuation = -3;
    s.nlp.pfWeightIdx = 1;
    s.nlp.cnExecIdx = 4;
    s.upLinkGain = -1.5f;
    dsp.service().setState(s);
    const DecodedReport report = decodeHfsyncReport(dsp.run("hfsync\n").bytes);
    ASSERT_EQ(DecodedReport::kComplete, report.status) << report.problem;
    const std::string ones = "1.000000, 1.000000, 1.000000, 1.000000, 1.000000, 1.000000";
    const std::string zeros = "0.000000, 0.000000, 0.000000, 0.000000, 0.000000, 0.000000";
    EXPECT_EQ(
        "{\n"
        "  \"report\": \"hfsync\",\n"
        "  \"complete\": true,\n"
        "  \"tag\": \"A0101\",\n"
        "  \"opgain\": [12.000000, 12.000000],\n"
        "  \"pgagain\": [6.500000, -1.000000],\n"
        "  \"seq\": {\n"
        "    \"en\": 1,\n"
        "    \"cf\": [100, 250, 500, 1000, 2000, 4000, 8000, 16000],\n"
        "    \"gain\": [-3.500000, 0.000000, " +
            zeros +
            "],\n"
            "    \"q\": [0.707000, 1.000000, " +
            ones +
            "]\n"
            "  },\n"
            "  \"req\": {\n"
            "    \"en\": 0,\n"
            "    \"cf\": [100, 250, 500, -1200, 2000, 4000, 8000, 16000],\n"
            "    \"gain\": [0.000000, 0.000000, " +
            zeros +
            "],\n"
            "    \"q\": [1.000000, 1.000000, " +
            ones +
            "]\n"
            "  },\n"
            "  \"duplex\": 2,\n"
            "  \"nr\": -3,\n"
            "  \"nlp\": {\"pfWeightIdx\": 1, \"cnEstiIdx\": 0, \"cnExecIdx\": 4},\n"
            "  \"uplink\": -1.500000\n"
            "}",
        report.values.write());
}

// Cuts the report at every length the reply capacity can give: what is
// decoded is exactly the fields that arrived whole, in order, never a field
// that lost its tail.
void expectCutsDecodeToPrefixes(const char* command, const std::vector<std::string>& labels,
                                DecodedReport (*decode)(const std::string&)) {
    DspHarness dsp;
    dsp.service().setState(wideState());
    const std::string full = dsp.run(command).bytes;
    const DecodedReport whole = decode(full);
    ASSERT_EQ(DecodedReport::kComplete, whole.status) << whole.problem;
    std::vector<std::string> all;
    flatten(whole.values, &all);
    for (size_t length = 0; length < full.size(); ++length) {
        const std::string cut = dsp.run(command, static_cast<int>(length) + 2).bytes;
        ASSERT_EQ(length, cut.size());
        const DecodedReport part = decode(cut);
        ASSERT_EQ(DecodedReport::kPartial, part.status) << length << ": " << part.problem;
        EXPECT_EQ("false", textAt(part.values, "complete"));
        std::vector<std::string> got;
        flatten(part.values, &got);
        const size_t fields = wholeValueFields(cut, labels);
        ASSERT_EQ(fields, got.size())
            << "cut at " << length << ": " << cut.substr(cut.size() > 40 ? cut.size() - 40 : 0);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "cut at " << length;
    }
}

TEST(DspctlReportDecoderTest, SyncCutAnywhereKeepsOnlyWholeFields) {
    expectCutsDecodeToPrefixes("sync\n",
                               {"dsp sync", "vol", "delay", "eq", "eqbt", "ftr", "loud", "bq"},
                               decodeSyncReport);
}

TEST(DspctlReportDecoderTest, HfsyncCutAnywhereKeepsOnlyWholeFields) {
    expectCutsDecodeToPrefixes(
        "hfsync\n",
        {"dsp hfsync", "opgain", "pgagain", "seq", "req", "duplex", "nr", "nlp", "uplink"},
        decodeHfsyncReport);
}

TEST(DspctlReportDecoderTest, LinesOfTheWrongShapeAreMalformed) {
    DspHarness dsp;
    const std::string sync = dsp.run("sync\n").bytes;
    const std::string hfsync = dsp.run("hfsync\n").bytes;
    const std::string head = "dsp sync:A0101:vol:0:";
    const std::string body = sync.substr(head.size());
    const struct {
        const char* name;
        std::string line;
        DecodedReport (*decode)(const std::string&);
        const char* problem;
    } cases[] = {
        {"hfsync line to the sync decoder", hfsync, decodeSyncReport, "expected \"dsp sync\""},
        {"sync line to the hfsync decoder", sync, decodeHfsyncReport, "expected \"dsp hfsync\""},
        {"a word for a whole number", head + "x" + body, decodeSyncReport, "whole number"},
        {"a leading zero", head + "030" + body.substr(2), decodeSyncReport, "whole number"},
        {"a float with two decimals", "dsp hfsync:A0101:opgain:1.50:0.000000:[ok]",
         decodeHfsyncReport, "six decimals"},
        {"a field before the end mark", sync.substr(0, sync.size() - 4) + "7:[ok]",
         decodeSyncReport, "expected \"[ok]\", got \"7\""},
        {"text after the end mark", hfsync + ":[ok]", decodeHfsyncReport, "after the end mark"},
        {"an end mark too early", "dsp sync:[ok]", decodeSyncReport, "too early"},
        {"a label missing", "dsp hfsync:A0101:0.000000:[ok]", decodeHfsyncReport,
         "expected \"opgain\""},
    };
    for (const auto& c : cases) {
        const DecodedReport report = c.decode(c.line);
        EXPECT_EQ(DecodedReport::kMalformed, report.status) << c.name;
        EXPECT_NE(std::string::npos, report.problem.find(c.problem))
            << c.name << ": " << report.problem;
        EXPECT_EQ("false", textAt(report.values, "complete")) << c.name;
    }
}

// The cells of the table row that begins with `label`, split at blanks.
std::vector<std::string> rowCells(const std::string& table, const std::string& label) {
    const size_t start = table.find("\n" + label + " ");
    if (start == std::string::npos) return {"<no row>"};
    const size_t end = table.find('\n', start + 1);
    std::istringstream row(table.substr(start + 1 + label.size(), end - start - 1 - label.size()));
    std::vector<std::string> cells;
    std::string cell;
    while (row >> cell) cells.push_back(cell);
    return cells;
}

TEST(DspctlReportTableTest, ShowsEachChannelInItsColumnAndMarksWhatACutLost) {
    DspHarness dsp;
    dsp.service().setState(wideState());
    const std::string full = dsp.run("sync\n").bytes;
    const std::string table = syncTable(decodeSyncReport(full));
    using Cells = std::vector<std::string>;
    EXPECT_EQ(0u, table.find("sync report A0101 (complete)\n")) << table;
    EXPECT_NE(std::string::npos, table.find("\nlayout  2 (2.0)\n")) << table;
    EXPECT_EQ((Cells{"0", "0", "0", "0", "-1", "0"}), rowCells(table, "ftr value5"));
    EXPECT_EQ((Cells{"0", "0", "0", "0", "0", "-2147483648"}), rowCells(table, "bq[19] phase"));

    // Cut 30 characters before the loudness: the filter values of channels 4
    // and 5 and the last one of channel 3 are lost, and all after them.
    const DecodedReport part = decodeSyncReport(full.substr(0, full.find(":loud:") - 30));
    ASSERT_EQ(DecodedReport::kPartial, part.status);
    const std::string partTable = syncTable(part);
    EXPECT_NE(std::string::npos, partTable.find("(TRUNCATED")) << partTable;
    EXPECT_EQ((Cells{"0", "0", "0", "0", "-", "-"}), rowCells(partTable, "ftr value5"));
    EXPECT_EQ((Cells{"0", "0", "0", "-", "-", "-"}), rowCells(partTable, "ftr value6"));
    EXPECT_EQ((Cells{"-", "-", "-"}), rowCells(partTable, "loud"));
    EXPECT_EQ((Cells{"-", "-", "-", "-", "-", "-"}), rowCells(partTable, "bq[0] type"));
}

TEST(DspctlJsonValueTest, EscapesTextAndDropsWhatACutLeftEmpty) {
    JsonValue root = JsonValue::object();
    root.set("text", JsonValue::string("a\"b\\c\n\x01"));
    JsonValue& list = root.set("list", JsonValue::array());
    list.append(JsonValue::number("-1"));
    list.append(JsonValue::object()).set("empty", JsonValue::array());
    root.set("none", JsonValue::array()).append(JsonValue::array());
    root.pruneEmpty();
    EXPECT_EQ("{\n  \"text\": \"a\\\"b\\\\c\\n\\u0001\",\n  \"list\": [-1]\n}", root.write());
}

}  // namespace
