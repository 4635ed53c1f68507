#include "StateFile.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "CommandTable.h"

const char* const kBlobNames[2] = {"standard", "extended"};

namespace {

constexpr int kChannels = 6;
constexpr int kEqBands = 8;
constexpr int kBassTrebleBands = 2;
constexpr int kBiquadBands = 20;
constexpr size_t kBlobSizes[2] = {296, 2560};
// A state file is about 40 kB; anything far larger is no state file.
constexpr size_t kMaxFileSize = 1 << 20;

const char kNote[] =
    "The test pattern (sig) is in no report: it cannot be stored, and restore leaves it as it is.";

std::string hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const char c : bytes) {
        text += kDigits[static_cast<unsigned char>(c) >> 4];
        text += kDigits[static_cast<unsigned char>(c) & 0x0F];
    }
    return text;
}

bool unhex(const std::string& text, std::string* bytes) {
    bytes->clear();
    if (text.size() % 2 != 0) {
        return false;
    }
    for (size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long value = std::strtol(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2 || pair[0] == '-' || pair[0] == '+') {
            return false;
        }
        *bytes += static_cast<char>(value);
    }
    return true;
}

bool isNonFinite(const std::string& text) {
    return text == "inf" || text == "-inf" || text == "nan" || text == "-nan";
}

// A copy of a decoded report without the decoder's own "report" and
// "complete": a stored report is always complete.
JsonValue reportSection(const JsonValue& report) {
    JsonValue section = JsonValue::object();
    for (size_t i = 0; i < report.size(); ++i) {
        const std::string& key = report.keyAt(i);
        if (key != "report" && key != "complete") {
            section.set(key, report.at(i).copy());
        }
    }
    return section;
}

// Walks a state document in the schema's order. The first fault stops it:
// every later lookup gives null, so the schema is stated once, without a
// check per field. Every leaf it takes is remembered, so that a field the
// schema does not know can be named afterwards.
class StateWalker {
public:
    explicit StateWalker(DeviceState* state) : mState(state) {}

    const JsonValue* member(const JsonValue* parent, const std::string& key,
                            JsonValue::Type type = JsonValue::kObject) {
        const JsonValue* child = parent != nullptr ? parent->find(key) : nullptr;
        return check(child, parent, key, type);
    }

    const JsonValue* element(const JsonValue* parent, int i,
                             JsonValue::Type type = JsonValue::kObject) {
        const size_t index = static_cast<size_t>(i);
        const JsonValue* child =
            parent != nullptr && parent->type() == JsonValue::kArray && index < parent->size()
                ? &parent->at(index)
                : nullptr;
        return check(child, parent, "[" + std::to_string(i) + "]", type);
    }

    // A scalar that is no setting (the tag, the header).
    const JsonValue* leaf(const JsonValue* parent, const std::string& key) {
        return take(member(parent, key, JsonValue::kString));
    }

    // One setting. `words` and `group` get the value or its place filled in.
    void value(const JsonValue* v, const std::string& name, bool real,
               std::vector<std::string> words, std::vector<std::string> group = {}) {
        if (v == nullptr || !mProblem.empty()) {
            return;
        }
        take(v);
        StateSetting setting;
        setting.name = name;
        setting.real = real;
        setting.text = v->text();
        const bool number = v->type() == JsonValue::kNumber;
        if (!number && !(real && v->type() == JsonValue::kString && isNonFinite(v->text()))) {
            fault(name + ": \"" + v->text() + "\" is no " + (real ? "number" : "whole number"));
            return;
        }
        if (real && number) {
            // As the device prints what it stores: a float, six decimals.
            const float stored = std::strtof(setting.text.c_str(), nullptr);
            if (std::isfinite(stored)) {
                char printed[64];
                std::snprintf(printed, sizeof printed, "%f", static_cast<double>(stored));
                setting.text = printed;
            }
        }
        for (std::string& word : words) {
            if (word.empty()) {
                word = setting.text;
            }
        }
        setting.words = std::move(words);
        setting.group = std::move(group);
        mState->settings.push_back(std::move(setting));
    }

    // Names a leaf of `document` that the walk did not take, if any.
    void findExtra(const JsonValue& value, const std::string& path) {
        if (!mProblem.empty()) {
            return;
        }
        if (value.type() != JsonValue::kArray && value.type() != JsonValue::kObject) {
            if (mTaken.count(&value) == 0) {
                fault("unknown field " + path);
            }
            return;
        }
        for (size_t i = 0; i < value.size(); ++i) {
            const bool inArray = value.type() == JsonValue::kArray;
            findExtra(value.at(i), path + (inArray ? "[" + std::to_string(i) + "]"
                                                   : (path.empty() ? "" : ".") + value.keyAt(i)));
        }
    }

    void fault(const std::string& problem) {
        if (mProblem.empty()) {
            mProblem = problem;
        }
    }
    const std::string& problem() const { return mProblem; }

private:
    const JsonValue* check(const JsonValue* child, const JsonValue* parent, const std::string& key,
                           JsonValue::Type type) {
        if (parent == nullptr || !mProblem.empty()) {
            return nullptr;
        }
        const std::string& base = mPaths[parent];
        const std::string where = base + (key[0] == '[' || base.empty() ? "" : ".") + key;
        if (child == nullptr) {
            fault("missing field " + where);
            return nullptr;
        }
        const bool container = type == JsonValue::kObject || type == JsonValue::kArray;
        if (container ? child->type() != type
                      : child->type() == JsonValue::kObject || child->type() == JsonValue::kArray) {
            fault("field " + where + " is not " +
                  (type == JsonValue::kObject  ? "an object"
                   : type == JsonValue::kArray ? "an array"
                                               : "a value"));
            return nullptr;
        }
        mPaths[child] = where;
        return child;
    }

    const JsonValue* take(const JsonValue* value) {
        if (value != nullptr) {
            mTaken.insert(value);
        }
        return value;
    }

    DeviceState* mState;
    std::set<const JsonValue*> mTaken;
    std::map<const JsonValue*, std::string> mPaths;
    std::string mProblem;
};

std::string index(int i) { return std::to_string(i); }

void readSync(StateWalker& w, const JsonValue* sync) {
    const auto scalar = JsonValue::kNumber;  // any scalar: value() checks the kind
    w.leaf(sync, "tag");
    const JsonValue* vol = w.member(sync, "vol");
    w.value(w.member(vol, "layout", scalar), "vol layout", false, {"spk", ""});
    w.value(w.member(vol, "master", scalar), "vol master", false, {"vol", ""});
    const JsonValue* gain = w.member(vol, "gain", JsonValue::kArray);
    for (int ch = 0; ch < kChannels; ++ch) {
        w.value(w.element(gain, ch, scalar), "vol ch" + index(ch) + " gain", false,
                {"cvol", index(ch), ""});
    }
    const JsonValue* delay = w.member(sync, "delay", JsonValue::kArray);
    for (int ch = 0; ch < kChannels; ++ch) {
        w.value(w.element(delay, ch, scalar), "delay ch" + index(ch), true,
                {"delay", index(ch), ""});
    }
    // Equalizer and bass/treble: one value per command.
    const struct {
        const char* section;
        const char* item;
        int bands;
        std::vector<const char*> keys;
    } banded[] = {{"eq", "eq", kEqBands, {"cf", "q", "gain"}},
                  {"eqbt", "bteq", kBassTrebleBands, {"cf", "gain"}}};
    for (const auto& b : banded) {
        const JsonValue* records = w.member(sync, b.section, JsonValue::kArray);
        for (int ch = 0; ch < kChannels; ++ch) {
            const JsonValue* record = w.element(records, ch);
            for (const char* key : b.keys) {
                const JsonValue* list = w.member(record, key, JsonValue::kArray);
                for (int band = 0; band < b.bands; ++band) {
                    w.value(w.element(list, band, scalar),
                            std::string(b.section) + " ch" + index(ch) + " band" + index(band) +
                                " " + key,
                            std::strcmp(key, "gain") == 0,
                            {b.item, key, index(band), "", index(ch)});
                }
            }
        }
    }
    const JsonValue* ftr = w.member(sync, "ftr", JsonValue::kArray);
    for (int ch = 0; ch < kChannels; ++ch) {
        const JsonValue* record = w.element(ftr, ch);
        for (int i = 1; i <= 6; ++i) {
            const std::string key = "value" + index(i);
            w.value(w.member(record, key, scalar), "ftr ch" + index(ch) + " " + key, false, {},
                    {"ftr", index(ch)});
        }
    }
    const JsonValue* loud = w.member(sync, "loud");
    for (int i = 1; i <= 3; ++i) {
        const std::string key = "value" + index(i);
        w.value(w.member(loud, key, scalar), "loud " + key, false, {}, {"loud"});
    }
    const JsonValue* bq = w.member(sync, "bq", JsonValue::kArray);
    for (int ch = 0; ch < kChannels; ++ch) {
        const JsonValue* bands = w.element(bq, ch, JsonValue::kArray);
        for (int band = 0; band < kBiquadBands; ++band) {
            const JsonValue* record = w.element(bands, band);
            for (const char* key : {"type", "cf", "gain", "q", "method", "slope", "phase"}) {
                const bool real = std::strcmp(key, "gain") == 0 || std::strcmp(key, "q") == 0;
                w.value(w.member(record, key, scalar),
                        "bq ch" + index(ch) + " band" + index(band) + " " + key, real,
                        {"bq", key, index(band), "", index(ch)}, {"bq", "channel", index(ch)});
            }
        }
    }
}

void readHfsync(StateWalker& w, const JsonValue* hfsync) {
    const auto scalar = JsonValue::kNumber;  // any scalar: value() checks the kind
    w.leaf(hfsync, "tag");
    const struct {
        const char* key;
        const char* gain;
    } adc[] = {{"opgain", "MicOpGain"}, {"pgagain", "MicPgaGain"}};
    for (const auto& a : adc) {
        const JsonValue* list = w.member(hfsync, a.key, JsonValue::kArray);
        for (int ch = 0; ch < 2; ++ch) {
            w.value(w.element(list, ch, scalar), std::string(a.key) + " ch" + index(ch), true,
                    {"hfaec", "adc", a.gain, index(ch), ""});
        }
    }
    for (const char* eq : {"seq", "req"}) {
        const JsonValue* record = w.member(hfsync, eq);
        w.value(w.member(record, "en", scalar), std::string(eq) + " en", false,
                {"hfaec", eq, "en", ""});
        for (const char* key : {"cf", "gain", "q"}) {
            const JsonValue* list = w.member(record, key, JsonValue::kArray);
            for (int band = 0; band < kEqBands; ++band) {
                w.value(w.element(list, band, scalar),
                        std::string(eq) + " band" + index(band) + " " + key,
                        std::strcmp(key, "cf") != 0, {"hfaec", eq, key, index(band), ""});
            }
        }
    }
    w.value(w.member(hfsync, "duplex", scalar), "duplex", false,
            {"hfaec", "aec", "pfGainLimitIdx", ""});
    w.value(w.member(hfsync, "nr", scalar), "nr", false, {"hfaec", "nr", "nrAttenIdx", ""});
    const JsonValue* nlp = w.member(hfsync, "nlp");
    for (const char* key : {"pfWeightIdx", "cnEstiIdx", "cnExecIdx"}) {
        w.value(w.member(nlp, key, scalar), std::string("nlp ") + key, false,
                {"hfaec", "nlp", key, ""});
    }
    w.value(w.member(hfsync, "uplink", scalar), "uplink", true, {"hfaec", "uplink", "gain", ""});
}

// Reads the whole of `fd` into *text. Returns 0 or an errno value (EFBIG past
// kMaxFileSize).
int readAll(int fd, std::string* text) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return 0;
        }
        text->append(buffer, static_cast<size_t>(n));
        if (text->size() > kMaxFileSize) {
            return EFBIG;
        }
    }
}

}  // namespace

JsonValue stateDocument(const JsonValue& sync, const JsonValue& hfsync,
                        const std::string (&blobs)[2], const std::string& port,
                        const std::string& when) {
    JsonValue document = JsonValue::object();
    document.set("format", JsonValue::number(std::to_string(kStateFormat)));
    document.set("port", JsonValue::string(port));
    document.set("read", JsonValue::string(when));
    document.set("note", JsonValue::string(kNote));
    document.set("sync", reportSection(sync));
    document.set("hfsync", reportSection(hfsync));
    JsonValue& mpbin = document.set("mpbin", JsonValue::object());
    for (int i = 0; i < 2; ++i) {
        mpbin.set(kBlobNames[i], JsonValue::string(hex(blobs[i])));
    }
    return document;
}

bool readState(const JsonValue& document, DeviceState* state, std::string* problem) {
    *state = DeviceState();
    const JsonValue* format = document.find("format");
    if (format == nullptr) {
        *problem = "no dspctl state file: it has no \"format\" field";
        return false;
    }
    if (format->type() != JsonValue::kNumber || format->text() != std::to_string(kStateFormat)) {
        *problem = "state file of format " + format->text() + "; this dspctl reads format " +
                   std::to_string(kStateFormat);
        return false;
    }
    StateWalker w(state);
    for (const char* key : {"format", "port", "read", "note"}) {
        w.leaf(&document, key);
    }
    readSync(w, w.member(&document, "sync"));
    readHfsync(w, w.member(&document, "hfsync"));
    const JsonValue* mpbin = w.member(&document, "mpbin");
    for (int i = 0; i < 2; ++i) {
        const JsonValue* blob = w.leaf(mpbin, kBlobNames[i]);
        if (blob != nullptr &&
            (!unhex(blob->text(), &state->blobs[i]) || state->blobs[i].size() != kBlobSizes[i])) {
            w.fault(std::string("mpbin ") + kBlobNames[i] + ": not " +
                    std::to_string(kBlobSizes[i]) + " bytes as hex digits");
        }
    }
    w.findExtra(document, "");
    *problem = w.problem();
    return problem->empty();
}

bool loadStateFile(const std::string& path, DeviceState* state, std::string* problem) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *problem = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    int error = readAll(fd, &text);
    if (!standardInput && close(fd) != 0 && error == 0) {
        error = errno;
    }
    if (error != 0) {
        *problem = "cannot read " + path + ": " +
                   (error == EFBIG ? "larger than any state file" : std::strerror(error));
        return false;
    }
    JsonValue document;
    std::string why;
    if (!JsonValue::parse(text, &document, &why)) {
        *problem = path + " is no state file: not JSON (" + why + ")";
        return false;
    }
    if (!readState(document, state, &why)) {
        *problem = path + ": " + why;
        return false;
    }
    return true;
}

std::string stateRangeProblem(const DeviceState& state) {
    for (size_t i = 0; i < state.settings.size(); ++i) {
        const StateSetting& s = state.settings[i];
        std::vector<std::string> words = s.words;
        if (words.empty()) {
            // Only as a whole line: checked once, at its first value.
            if (i > 0 && state.settings[i - 1].group == s.group) {
                continue;
            }
            words = s.group;
            for (size_t j = i; j < state.settings.size() && state.settings[j].group == s.group;
                 ++j) {
                words.push_back(state.settings[j].text);
            }
        }
        const CommandCheck check = checkCommand(words);
        if (check.verdict != CommandCheck::kAccepted) {
            return s.name + ": " +
                   (check.message.empty() ? "the server would not store it as given"
                                          : check.message);
        }
    }
    return "";
}
