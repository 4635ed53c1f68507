// dspctl's report decoders on lines made by the real "sync" and "hfsync"
// items: negative and extreme values, the capacity cut at every position, and
// lines that are no report; the table and the JSON made of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
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

// The JSON text of the value at a path of keys and indices, e.g.
// "bq/5/19/phase".
std::string at(const JsonValue& root, const std::string& path) {
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
    return value != nullptr ? value->write() : "<absent>";
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
    std::istringstream fields(cut);
    size_t count = 0;
    for (std::string field; std::getline(fields, field, ':') && !fields.eof();) {
        count += std::find(labels.begin(), labels.end(), field) == labels.end() ? 1 : 0;
    }
    return count;
}

State wideState() {
    State s = State::defaults();
    s.speakerOutput = 0x03;  // layout 2, "2.0"
    s.masterVolume = 255;
    s.speakerDelay[0] = std::numeric_limits<float>::infinity();
    s.speakerDelay[1] = -1.25f;
    s.speakerDelay[2] = std::numeric_limits<float>::quiet_NaN();
    s.equalizer[2].cf[7] = 65535;
    s.filter[4].value5 = -1;
    BiquadBand& band = s.biquad[5].band[19];
    band.type = -7;
    band.phase = std::numeric_limits<int32_t>::min();
    // Large values make the biquad section, and so the report, long.
    s.biquad[0].band[0].gain = -1e30f;
    return s;
}

TEST(DspctlReportDecoderTest, SyncKeepsSignsWidthsAndTheReportsFieldNames) {
    DspHarness dsp;
    dsp.service().setState(wideState());
    const DecodedReport report = decodeSyncReport(dsp.run("sync\n").bytes);
    ASSERT_EQ(DecodedReport::kComplete, report.status) << report.problem;
    const JsonValue& v = report.values;
    EXPECT_EQ("true", at(v, "complete"));
    EXPECT_EQ("\"A0101\"", at(v, "tag"));
    EXPECT_EQ("255", at(v, "vol/master"));
    EXPECT_EQ("65535", at(v, "eq/2/cf/7"));
    EXPECT_EQ("-7", at(v, "bq/5/19/type"));
    EXPECT_EQ("-2147483648", at(v, "bq/5/19/phase"));
    EXPECT_EQ("-1000000015047466219876688855040.000000", at(v, "bq/0/0/gain"));
    // Floats that are no JSON numbers become strings.
    EXPECT_EQ("[\"inf\", -1.250000, \"nan\", 0.000000, 0.000000, 0.000000]", at(v, "delay"));
    // Six channels, eight bands, twenty biquad bands: no field more or less.
    std::vector<std::string> values;
    flatten(v, &values);
    EXPECT_EQ(1u + 8 + 6 + 144 + 24 + 36 + 3 + 840, values.size());
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
        EXPECT_EQ("false", at(part.values, "complete"));
        std::vector<std::string> got;
        flatten(part.values, &got);
        const size_t fields = wholeValueFields(cut, labels);
        ASSERT_EQ(fields, got.size())
            << "cut at " << length << ": " << cut.substr(cut.size() > 40 ? cut.size() - 40 : 0);
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "cut at " << length;
    }
}

TEST(DspctlReportDecoderTest, ACutAnywhereKeepsOnlyWholeFields) {
    expectCutsDecodeToPrefixes("sync\n",
                               {"dsp sync", "vol", "delay", "eq", "eqbt", "ftr", "loud", "bq"},
                               decodeSyncReport);
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
        {"a word for a whole number", head + "x" + body, decodeSyncReport, "whole number"},
        {"a leading zero", head + "030" + body.substr(2), decodeSyncReport, "whole number"},
        {"a float with two decimals", "dsp hfsync:A0101:opgain:1.50:0.000000:[ok]",
         decodeHfsyncReport, "six decimals"},
        {"a field before the end mark", sync.substr(0, sync.size() - 4) + "7:[ok]",
         decodeSyncReport, "expected \"[ok]\", got \"7\""},
        {"text after the end mark", hfsync + ":[ok]", decodeHfsyncReport, "after the end mark"},
        {"an end mark too early", "dsp sync:[ok]", decodeSyncReport, "too early"},
    };
    for (const auto& c : cases) {
        const DecodedReport report = c.decode(c.line);
        EXPECT_EQ(DecodedReport::kMalformed, report.status) << c.name;
        EXPECT_NE(std::string::npos, report.problem.find(c.problem))
            << c.name << ": " << report.problem;
        EXPECT_EQ("false", at(report.values, "complete")) << c.name;
    }
}

// The cells of the table row that begins with `label`, split at blanks.
std::vector<std::string> rowCells(const std::string& table, const std::string& label) {
    const size_t start = table.find("\n" + label + " ");
    if (start == std::string::npos) return {"<no row>"};
    std::istringstream row(table.substr(start + 1 + label.size(),
                                        table.find('\n', start + 1) - start - 1 - label.size()));
    std::vector<std::string> cells;
    for (std::string cell; row >> cell;) cells.push_back(cell);
    return cells;
}

TEST(DspctlReportTableTest, ShowsEachChannelInItsColumnAndMarksWhatACutLost) {
    DspHarness dsp;
    dsp.service().setState(wideState());
    const std::string full = dsp.run("sync\n").bytes;
    const std::string table = syncTable(decodeSyncReport(full));
    using Cells = std::vector<std::string>;
    EXPECT_EQ(0u, table.find("sync report A0101 (complete)\nlayout  2 (2.0)\n")) << table;
    EXPECT_EQ((Cells{"0", "0", "0", "0", "-1", "0"}), rowCells(table, "ftr value5"));
    EXPECT_EQ((Cells{"0", "0", "0", "0", "0", "-2147483648"}), rowCells(table, "bq[19] phase"));

    // Cut 30 characters before the loudness: the filter values of channel 3
    // from the fourth on are lost, and all after them.
    const std::string cut = syncTable(decodeSyncReport(full.substr(0, full.find(":loud:") - 30)));
    EXPECT_NE(std::string::npos, cut.find("(TRUNCATED")) << cut;
    EXPECT_EQ((Cells{"0", "0", "0", "0", "-", "-"}), rowCells(cut, "ftr value3"));
    EXPECT_EQ((Cells{"0", "0", "0", "-", "-", "-"}), rowCells(cut, "ftr value4"));
    EXPECT_EQ((Cells{"-", "-", "-"}), rowCells(cut, "loud"));
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
