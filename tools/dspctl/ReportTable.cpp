#include "ReportTable.h"

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "TextTable.h"

namespace {

constexpr int kChannels = 6;

const JsonValue* member(const JsonValue* value, const char* key) {
    return value != nullptr ? value->find(key) : nullptr;
}

const JsonValue* element(const JsonValue* value, size_t i) {
    return value != nullptr && value->type() == JsonValue::kArray && i < value->size()
               ? &value->at(i)
               : nullptr;
}

std::string cell(const JsonValue* value) {
    return value != nullptr &&
                   (value->type() == JsonValue::kNumber || value->type() == JsonValue::kString)
               ? value->text()
               : "-";
}

std::string heading(const char* name, const DecodedReport& report) {
    const JsonValue* tag = report.values.find("tag");
    std::string text = std::string(name) + " report";
    if (tag != nullptr) {
        text += " " + tag->text();
    }
    switch (report.status) {
        case DecodedReport::kComplete:
            return text + " (complete)\n";
        case DecodedReport::kPartial:
            return text + " (TRUNCATED: the report was cut; \"-\" marks values not received)\n";
        case DecodedReport::kMalformed:
            break;
    }
    return text + " (MALFORMED: " + report.problem + ")\n";
}

// One row with a cell per channel, each found by `find`.
void channelRow(TextTable& table, std::string label,
                const std::function<const JsonValue*(int channel)>& find) {
    std::vector<std::string> cells;
    for (int channel = 0; channel < kChannels; ++channel) {
        cells.push_back(cell(find(channel)));
    }
    table.addRow(std::move(label), std::move(cells));
}

// Rows "<prefix>[i]" for each element i of the list `key` of each channel's
// record in `section`.
void listRows(TextTable& table, const JsonValue* section, const char* prefix, const char* key,
              int count) {
    for (int i = 0; i < count; ++i) {
        channelRow(table, std::string(prefix) + " " + key + "[" + std::to_string(i) + "]",
                   [&](int channel) { return element(member(element(section, channel), key), i); });
    }
}

// "label  value" lines, the values lined up after the longest label.
std::string keyValueLines(const std::vector<std::pair<std::string, std::string>>& lines) {
    size_t width = 0;
    for (const auto& line : lines) {
        width = std::max(width, line.first.size());
    }
    std::string out;
    for (const auto& line : lines) {
        out += line.first + std::string(width - line.first.size() + 2, ' ') + line.second + "\n";
    }
    return out;
}

const char* layoutName(const std::string& code) {
    if (code == "0") return "4.0";
    if (code == "1") return "4.1";
    if (code == "2") return "2.0";
    return "?";
}

}  // namespace

std::string syncTable(const DecodedReport& report) {
    const JsonValue& v = report.values;
    const JsonValue* vol = v.find("vol");
    const JsonValue* loud = v.find("loud");
    const std::string layout = cell(member(vol, "layout"));

    std::string out = heading("sync", report);
    out += keyValueLines({
        {"layout", layout == "-" ? layout : layout + " (" + layoutName(layout) + ")"},
        {"master", cell(member(vol, "master"))},
        {"loud", cell(member(loud, "value1")) + " " + cell(member(loud, "value2")) + " " +
                     cell(member(loud, "value3"))},
    });

    std::vector<std::string> header{"channel"};
    for (int channel = 0; channel < kChannels; ++channel) {
        header.push_back("ch" + std::to_string(channel));
    }
    TextTable table(header);
    channelRow(table, "gain", [&](int ch) { return element(member(vol, "gain"), ch); });
    channelRow(table, "delay", [&](int ch) { return element(v.find("delay"), ch); });
    const JsonValue* eq = v.find("eq");
    listRows(table, eq, "eq", "cf", 8);
    listRows(table, eq, "eq", "q", 8);
    listRows(table, eq, "eq", "gain", 8);
    const JsonValue* eqbt = v.find("eqbt");
    listRows(table, eqbt, "eqbt", "cf", 2);
    listRows(table, eqbt, "eqbt", "gain", 2);
    const JsonValue* ftr = v.find("ftr");
    for (const char* key : {"value1", "value2", "value3", "value4", "value5", "value6"}) {
        channelRow(table, std::string("ftr ") + key,
                   [&](int ch) { return member(element(ftr, ch), key); });
    }
    const JsonValue* bq = v.find("bq");
    for (int band = 0; band < 20; ++band) {
        for (const char* key : {"type", "cf", "gain", "q", "method", "slope", "phase"}) {
            channelRow(table, "bq[" + std::to_string(band) + "] " + key,
                       [&](int ch) { return member(element(element(bq, ch), band), key); });
        }
    }
    return out + "\n" + table.render();
}

std::string hfsyncTable(const DecodedReport& report) {
    const JsonValue& v = report.values;
    std::string out = heading("hfsync", report);

    TextTable gains({"adc", "ch0", "ch1"});
    for (const char* key : {"opgain", "pgagain"}) {
        gains.addRow(key, {cell(element(v.find(key), 0)), cell(element(v.find(key), 1))});
    }
    out += gains.render();

    const JsonValue* seq = v.find("seq");
    const JsonValue* req = v.find("req");
    TextTable eq({"equalizer", "seq", "req"});
    eq.addRow("en", {cell(member(seq, "en")), cell(member(req, "en"))});
    for (const char* key : {"cf", "gain", "q"}) {
        for (int band = 0; band < 8; ++band) {
            eq.addRow(
                std::string(key) + "[" + std::to_string(band) + "]",
                {cell(element(member(seq, key), band)), cell(element(member(req, key), band))});
        }
    }
    out += "\n" + eq.render();

    const JsonValue* nlp = v.find("nlp");
    return out + "\n" +
           keyValueLines({
               {"duplex", cell(v.find("duplex"))},
               {"nr", cell(v.find("nr"))},
               {"nlp", "pfWeightIdx " + cell(member(nlp, "pfWeightIdx")) + "  cnEstiIdx " +
                           cell(member(nlp, "cnEstiIdx")) + "  cnExecIdx " +
                           cell(member(nlp, "cnExecIdx"))},
               {"uplink", cell(v.find("uplink"))},
           });
}
