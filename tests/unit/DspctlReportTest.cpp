// dspctl's report decoders on lines made by the real "sync" and "hfsync"
// items: negative and extreme values, the capacity cut at every position, and
// lines that are no report; the table and the JSON made of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "DspHarness.h"
#include "JsonValue.h"
#include "ReportDecoder.h"
#include "ReportTable.h"

namespace {

// Every scalar but "report" and "complete", in document order, which is the
// order of the report's fields.
void flatten(const JsonValue& value, std::vector<std::string>* out) {
    for (size_t i = 0; i < value.size(); ++i) {
        const JsonValue& child = value.at(i);
        const bool kept = value.type() != JsonValue::kObject ||
                          (value.keyAt(i) != "report" && value.keyAt(i) != "complete");
        if (child.type() == JsonValue::kArray || child.type() == JsonValue::kObject) {
            flatten(child, out);
        } else if (kept) {
            out->push_back(child.text());
        }
    }
}

DspHarness& wideDsp(DspHarness& dsp) {
    audiosim::State s = audiosim::State::defaults();
    s.speakerOutput = 0x03;  // layout 2, "2.0"
    s.masterVolume = 255;
    s.speakerDelay[0] = std::numeric_limits<float>::infinity();
    s.speakerDelay[1] = -1.25f;
    s.speakerDelay[2] = std::numeric_limits<float>::quiet_NaN();
    s.equalizer[2].cf[7] = 65535;
    s.filter[4].value5 = -1;
    s.biquad[5].band[19].type = -7;
    s.biquad[5].band[19].phase = std::numeric_limits<int32_t>::min();
    s.biquad[0].band[0].gain = -1e30f;  // a long field makes the report long
    dsp.service().setState(s);
    return dsp;
}

TEST(DspctlReportDecoderTest, SyncKeepsSignsWidthsAndTheReportsFieldNames) {
    DspHarness dsp;
    const DecodedReport report = decodeSyncReport(wideDsp(dsp).run("sync\n").bytes);
    ASSERT_EQ(DecodedReport::kComplete, report.status) << report.problem;
    const JsonValue& v = report.values;
    EXPECT_EQ("255", v.find("vol")->find("master")->write());
    EXPECT_EQ("65535", v.find("eq")->at(2).find("cf")->at(7).write());
    EXPECT_EQ("-7", v.find("bq")->at(5).at(19).find("type")->write());
    EXPECT_EQ("-2147483648", v.find("bq")->at(5).at(19).find("phase")->write());
    EXPECT_EQ("-1000000015047466219876688855040.000000",
              v.find("bq")->at(0).at(0).find("gain")->write());
    // Floats that are no JSON numbers become strings.
    EXPECT_EQ("[\"inf\", -1.250000, \"nan\", 0.000000, 0.000000, 0.000000]",
              v.find("delay")->write());
    // Six channels, eight bands, twenty biquad bands: no field more or less.
    std::vector<std::string> values;
    flatten(v, &values);
    EXPECT_EQ(1u + 8 + 6 + 144 + 24 + 36 + 3 + 840, values.size());
}

// Cuts each report at every length the reply capacity can give: what is
// decoded is exactly the fields that arrived whole (each followed by ":"),
// less the labels, in order, never a field that lost its tail.
TEST(DspctlReportDecoderTest, ACutAnywhereKeepsOnlyWholeFields) {
    const struct {
        const char* command;
        std::vector<std::string> labels;
        DecodedReport (*decode)(const std::string&);
    } reports[] = {
        {"sync\n",
         {"dsp sync", "vol", "delay", "eq", "eqbt", "ftr", "loud", "bq"},
         decodeSyncReport},
        {"hfsync\n",
         {"dsp hfsync", "opgain", "pgagain", "seq", "req", "duplex", "nr", "nlp", "uplink"},
         decodeHfsyncReport},
    };
    for (const auto& r : reports) {
        DspHarness dsp;
        const std::string full = wideDsp(dsp).run(r.command).bytes;
        std::vector<std::string> all;
        flatten(r.decode(full).values, &all);
        for (size_t length = 0; length < full.size(); ++length) {
            const std::string cut = dsp.run(r.command, static_cast<int>(length) + 2).bytes;
            ASSERT_EQ(length, cut.size());
            const DecodedReport part = r.decode(cut);
            ASSERT_EQ(DecodedReport::kPartial, part.status) << length << ": " << part.problem;
            EXPECT_EQ("false", part.values.find("complete")->write());
            std::vector<std::string> got;
            flatten(part.values, &got);
            std::istringstream fields(cut);
            size_t whole = 0;
            for (std::string field; std::getline(fields, field, ':') && !fields.eof();) {
                whole += std::count(r.labels.begin(), r.labels.end(), field) == 0 ? 1 : 0;
            }
            ASSERT_EQ(whole, got.size()) << r.command << " cut at " << length;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << "cut at " << length;
        }
    }
}

TEST(DspctlReportDecoderTest, LinesOfTheWrongShapeAreMalformed) {
    DspHarness dsp;
    const std::string sync = dsp.run("sync\n").bytes;
    const std::string hfsync = dsp.run("hfsync\n").bytes;
    const std::string head = "dsp sync:A0101:vol:0:";
    const std::string body = sync.substr(head.size());
    const struct {
        std::string line;
        DecodedReport (*decode)(const std::string&);
        const char* problem;
    } cases[] = {
        {hfsync, decodeSyncReport, "expected \"dsp sync\""},
        {head + "x" + body, decodeSyncReport, "whole number"},
        {"dsp sync:A0101:vol::" + body, decodeSyncReport, "whole number"},
        {head + "030" + body.substr(2), decodeSyncReport, "whole number"},
        {"dsp hfsync:A0101:opgain:1.50:0.000000:[ok]", decodeHfsyncReport, "six decimals"},
        {"dsp hfsync:A0101:opgain:1.00000x:0.000000:[ok]", decodeHfsyncReport, "six decimals"},
        {sync.substr(0, sync.size() - 4) + "7:[ok]", decodeSyncReport,
         "expected \"[ok]\", got \"7\""},
        {hfsync + ":[ok]", decodeHfsyncReport, "after the end mark"},
        {"dsp sync:[ok]", decodeSyncReport, "too early"},
    };
    for (const auto& c : cases) {
        const DecodedReport report = c.decode(c.line);
        EXPECT_EQ(DecodedReport::kMalformed, report.status) << c.problem;
        EXPECT_NE(std::string::npos, report.problem.find(c.problem)) << report.problem;
        EXPECT_EQ("false", report.values.find("complete")->write()) << c.problem;
    }
}

// The cells of the table row that begins with `label`, split at blanks.
std::vector<std::string> rowCells(const std::string& table, const std::string& label) {
    const size_t start = table.find("\n" + label + " ") + 1 + label.size();
    std::istringstream row(table.substr(start, table.find('\n', start) - start));
    std::vector<std::string> cells;
    for (std::string cell; row >> cell;) cells.push_back(cell);
    return cells;
}

TEST(DspctlReportTableTest, ShowsEachChannelInItsColumnAndMarksWhatACutLost) {
    DspHarness dsp;
    const std::string full = wideDsp(dsp).run("sync\n").bytes;
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
