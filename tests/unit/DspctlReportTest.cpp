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

// Every scalar, in document order, which is the order of the report's fields.
void flatten(const JsonValue& value, std::vector<std::string>* out) {
    for (size_t i = 0; i < value.size(); ++i) {
        if (value.at(i).size() > 0) flatten(value.at(i), out);
        if (value.at(i).size() == 0) out->push_back(value.at(i).text());
    }
}

DspHarness& wideDsp(DspHarness& dsp) {
    audiosim::State s = audiosim::State::defaults();
    s.speakerDelay[0] = std::numeric_limits<float>::infinity();
    s.speakerDelay[1] = -1.25f;
    s.speakerDelay[2] = std::numeric_limits<float>::quiet_NaN();
    s.filter[4].value5 = -1;
    s.biquad[5].band[19].phase = std::numeric_limits<int32_t>::min();
    dsp.service().setState(s);
    return dsp;
}

// Cuts each report at every length the reply capacity can give: what is
// decoded is exactly the fields that arrived whole (each followed by ":"),
// less the labels, in order and as the server printed them.
TEST(DspctlReportDecoderTest, ACutAnywhereKeepsTheWholeFieldsAsPrinted) {
    const struct {
        std::string name;
        std::vector<std::string> labels;
        DecodedReport (*decode)(const std::string&);
    } reports[] = {
        {"sync", {"dsp sync", "vol", "delay", "eq", "eqbt", "ftr", "loud", "bq"}, decodeSyncReport},
        {"hfsync",
         {"dsp hfsync", "opgain", "pgagain", "seq", "req", "duplex", "nr", "nlp", "uplink"},
         decodeHfsyncReport},
    };
    for (const auto& r : reports) {
        DspHarness dsp;
        const size_t full = wideDsp(dsp).run(r.name + "\n").bytes.size();
        for (size_t length = 0; length <= full; ++length) {
            const std::string cut = dsp.run(r.name + "\n", static_cast<int>(length) + 2).bytes;
            ASSERT_EQ(length, cut.size());
            std::vector<std::string> want = {r.name, length == full ? "true" : "false"}, got;
            std::istringstream fields(cut);
            for (std::string field; std::getline(fields, field, ':') && !fields.eof();) {
                if (std::count(r.labels.begin(), r.labels.end(), field) == 0) want.push_back(field);
            }
            const DecodedReport part = r.decode(cut);
            flatten(part.values, &got);
            EXPECT_EQ(length == full ? DecodedReport::kComplete : DecodedReport::kPartial,
                      part.status)
                << length << ": " << part.problem;
            ASSERT_EQ(want, got) << r.name << " cut at " << length;
        }
    }
}

TEST(DspctlReportDecoderTest, LinesOfTheWrongShapeAreMalformed) {
    DspHarness dsp;
    const std::string sync = dsp.run("sync\n").bytes;
    const std::string hfsync = dsp.run("hfsync\n").bytes;
    const struct {
        std::string line;
        DecodedReport (*decode)(const std::string&);
        const char* problem;
    } cases[] = {
        {"dsp hfsync:", decodeSyncReport, "expected \"dsp sync\""},
        {"dsp sync:A0101:vol:x:", decodeSyncReport, "whole number"},
        {"dsp sync:A0101:vol::", decodeSyncReport, "whole number"},
        {"dsp sync:A0101:vol:030:", decodeSyncReport, "whole number"},
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
    const DecodedReport report = decodeSyncReport(full);
    // Floats that are no JSON numbers become strings.
    EXPECT_EQ("[\"inf\", -1.250000, \"nan\", 0.000000, 0.000000, 0.000000]",
              report.values.find("delay")->write());
    const std::string table = syncTable(report);
    using Cells = std::vector<std::string>;
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
