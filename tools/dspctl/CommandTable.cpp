#include "CommandTable.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>

namespace {

// The server splits at most this many words after the item; a line with more
// fails before any check of the item.
constexpr size_t kMaxWords = 256;
// The sizes an MP.bin blob may have; "mpbin" fails any other field count.
constexpr int64_t kBlobSizes[] = {296, 2560};

enum class Kind {
    kKeyword,  // the word `name` itself, compared whole and case-sensitively
    kIndex,    // a whole number lo to hi; the server fails any other
    kOrZero,   // lo to hi; any other number sets 0
    kWrap,     // lo to hi; any other number wraps into the range (its low bits)
    kWhole,    // 32 bits; beyond, the limit
    kFlag,     // 0 or 1; any other number stores 1
    kReal,     // single precision
    kHexData,  // mpbin's fields, checked against the size word before it
    kText,     // any word (a file name)
    kItem,     // an item's name
    kOption,   // an option of dspctl's own command, with a value word if `value`
};

struct Word {
    Kind kind;
    const char* name;  // as help shows it
    int stage;         // the server checks the words of a form in this order
    int64_t lo;
    int64_t hi;
    bool decides;       // kKeyword: picks the form before any check
    const char* value;  // kOption: the name of its value word, or null
    int group;          // dspctl's own words: one of a group at most (0: none)
    bool optional;
};

// A value's stage: after every check that can fail.
constexpr int kValueStage = 9;

Word keyword(const char* name, int stage, bool decides = false) {
    return {Kind::kKeyword, name, stage, 0, 0, decides, nullptr, 0, false};
}
Word number(Kind kind, const char* name, int64_t lo, int64_t hi, int stage = kValueStage) {
    return {kind, name, stage, lo, hi, false, nullptr, 0, false};
}
Word real(const char* name) { return number(Kind::kReal, name, 0, 0); }
Word whole(const char* name) { return number(Kind::kWhole, name, INT32_MIN, INT32_MAX); }
Word low16(const char* name) { return number(Kind::kWrap, name, 0, 65535); }
Word own(Kind kind, const char* name, int group = 0, bool optional = true,
         const char* value = nullptr) {
    return {kind, name, 0, 0, 0, false, value, group, optional};
}

enum Use : unsigned {
    kSent = 1,   // the server's form: sent as typed
    kTyped = 2,  // what dspctl takes from a user
    kOwn = 4,    // carried out by dspctl itself (options, files)
};

enum class Count { kExact, kAtLeast, kAny };

struct Form {
    const char* item;
    unsigned use;
    const char* about;
    std::vector<Word> words;
    Count count;
    int countStage;
    size_t minWords;  // checked before anything else
    int repeat;       // the last `repeatWords` words come this many times
    size_t repeatWords;
};

Form form(const char* item, unsigned use, const char* about, std::vector<Word> words,
          Count count = Count::kExact, int countStage = 0) {
    return {item, use, about, std::move(words), count, countStage, 0, 1, 0};
}

// One value of a band record, by the keyword that names it.
struct Field {
    const char* keyword;
    const char* name;  // in the whole-record form
    Word (*word)(const char* name);
};

Word realField(const char* name) { return real(name); }
Word wholeField(const char* name) { return whole(name); }

const Field kEqFields[] = {{"gain", "GAIN", realField}, {"cf", "CF", low16}, {"q", "Q", low16}};
// In the order the whole-channel form takes a band's values.
const Field kBqFields[] = {{"type", "TYPE", wholeField},     {"cf", "CF", low16},
                           {"gain", "GAIN", realField},      {"q", "Q", realField},
                           {"method", "METHOD", wholeField}, {"slope", "SLOPE", wholeField},
                           {"phase", "PHASE", wholeField}};
const Field kBassTrebleFields[] = {{"gain", "GAIN", realField}, {"cf", "CF", low16}};
const Field kHandsfreeEqFields[] = {
    {"cf", "CF", wholeField}, {"gain", "GAIN", realField}, {"q", "Q", realField}};

Word channel(int stage, int64_t hi = 5) { return number(Kind::kIndex, "CHANNEL", 0, hi, stage); }

// "KEY BAND VALUE CHANNEL": checked in the order count, channel, band, keyword.
template <size_t N>
void addBandEdits(std::vector<Form>& table, const char* item, const char* about, int64_t bands,
                  const Field (&fields)[N]) {
    for (const Field& field : fields) {
        table.push_back(
            form(item, kSent | kTyped, about,
                 {keyword(field.keyword, 3), number(Kind::kIndex, "BAND", 0, bands - 1, 2),
                  field.word("VALUE"), channel(1)}));
    }
}

// "hfaec FORM ...": at least 3 words, then the form word, then its own count.
Form handsfree(const char* about, std::vector<Word> words, int countStage = 2) {
    Form f = form("hfaec", kSent | kTyped, about, std::move(words), Count::kExact, countStage);
    f.minWords = 3;
    return f;
}

std::vector<Form> buildTable() {
    std::vector<Form> t;
    t.push_back(form("status", kSent | kTyped, "liveness: always [ok]", {}, Count::kAny));
    t.push_back(form("sync", kSent, "the report of every DSP setting", {}, Count::kAny));
    t.push_back(form("sync", kTyped | kOwn, "the DSP settings, decoded (--raw: as they came)",
                     {own(Kind::kOption, "--json", 1), own(Kind::kOption, "--raw", 1)}));
    t.push_back(
        form("vol", kSent | kTyped, "master volume", {number(Kind::kOrZero, "VOLUME", 0, 255)}));
    t.push_back(form("cvol", kSent | kTyped, "gain of one channel",
                     {channel(1), number(Kind::kWrap, "GAIN", 0, 255)}));
    t.push_back(
        form("delay", kSent | kTyped, "speaker delay of one channel", {channel(1), real("DELAY")}));
    addBandEdits(t, "eq", "one value of a band of a channel's equalizer", 8, kEqFields);
    Form bank = form("bq", kSent | kTyped, "a channel's whole 20-band biquad bank",
                     {keyword("channel", 0, true), channel(2)}, Count::kExact, 1);
    for (const Field& field : kBqFields) bank.words.push_back(field.word(field.name));
    bank.repeat = 20;
    bank.repeatWords = std::size(kBqFields);
    t.push_back(bank);
    addBandEdits(t, "bq", "one value of a band of a channel's biquad bank", 20, kBqFields);
    t.push_back(form("ftr", kSent | kTyped, "the six filter values of a channel",
                     {channel(1), low16("V1"), low16("V2"), low16("V3"), low16("V4"),
                      number(Kind::kWrap, "V5", -32768, 32767), low16("V6")}));
    t.push_back(form("loud", kSent | kTyped, "loudness", {low16("V1"), low16("V2"), low16("V3")}));
    t.push_back(form("sig", kSent | kTyped, "speaker test pattern off (0) or on (1)",
                     {number(Kind::kIndex, "0|1", 0, 1, 1)}));
    t.push_back(form("spk", kSent | kTyped, "speaker layout 4.0 (0), 4.1 (1) or 2.0 (2)",
                     {number(Kind::kIndex, "0|1|2", 0, 2, 1)}));
    addBandEdits(t, "bteq", "a channel's bass (band 0) or treble (band 1)", 2, kBassTrebleFields);
    for (const char* gain : {"MicOpGain", "MicPgaGain"}) {
        t.push_back(
            handsfree("microphone ADC gain of channel 0 or 1",
                      {keyword("adc", 1, true), keyword(gain, 3), channel(4, 1), real("GAIN")}));
    }
    t.push_back(handsfree("noise-reduction attenuation index",
                          {keyword("nr", 1, true), keyword("nrAttenIdx", 3), whole("N")}));
    t.push_back(handsfree("echo-canceller duplex setting",
                          {keyword("aec", 1, true), keyword("pfGainLimitIdx", 3), whole("N")}));
    t.push_back(
        handsfree("uplink gain", {keyword("uplink", 1, true), keyword("gain", 3), real("G")}));
    for (const char* nlp : {"pfWeightIdx", "cnEstiIdx", "cnExecIdx"}) {
        t.push_back(handsfree("one setting of the non-linear processor",
                              {keyword("nlp", 1, true), keyword(nlp, 3), whole("N")}));
    }
    for (const char* eq : {"seq", "req"}) {
        t.push_back(handsfree(
            "hands-free send/receive equalizer on or off",
            {keyword(eq, 1, true), keyword("en", 2, true), number(Kind::kFlag, "N", 0, 1)}, 3));
        for (const Field& field : kHandsfreeEqFields) {
            t.push_back(handsfree("one band value of a hands-free equalizer",
                                  {keyword(eq, 1, true), keyword(field.keyword, 5),
                                   number(Kind::kIndex, "BAND", 0, 7, 4), field.word("VALUE")},
                                  3));
        }
    }
    t.push_back(form("hfsync", kSent, "the hands-free report", {}, Count::kAny));
    t.push_back(form("hfsync", kTyped | kOwn, "the hands-free settings, decoded",
                     {own(Kind::kOption, "--json", 1), own(Kind::kOption, "--raw", 1)}));
    t.push_back(form("mpbin", kTyped | kOwn, "write MP.bin from a 296- or 2560-byte file",
                     {own(Kind::kText, "FILE", 0, false)}));
    t.push_back(form("mpbin", kSent | kTyped, "write MP.bin from hex fields hh:hh:...",
                     {number(Kind::kIndex, "SIZE", 1, kBlobSizes[1], 1),
                      number(Kind::kHexData, "DATA", 0, 0, 2)},
                     Count::kAtLeast));
    t.push_back(form("getmp", kSent, "read MP.bin", {}, Count::kAny));
    t.push_back(form("getmp", kSent, "read the extended MP.bin", {keyword("ext", 0)}, Count::kAny));
    t.push_back(form("getmp", kTyped | kOwn, "read MP.bin to FILE or show it (ext: 2560 bytes)",
                     {own(Kind::kOption, "--ext", 1), own(Kind::kText, "ext", 1),
                      own(Kind::kOption, "-o", 0, true, "FILE")}));
    t.push_back(form("store", kTyped | kOwn, "save the device state to FILE (- for stdout)",
                     {own(Kind::kText, "FILE|-", 0, false)}));
    t.push_back(form("restore", kTyped | kOwn, "bring the device to the state in FILE",
                     {own(Kind::kText, "FILE", 0, false), own(Kind::kOption, "--dry-run")}));
    t.push_back(form(
        "diff", kTyped | kOwn, "what differs between A and B (or the device)",
        {own(Kind::kText, "A", 0, false), own(Kind::kText, "B"), own(Kind::kOption, "--json")}));
    t.push_back(
        form("help", kTyped | kOwn, "every item, or one explained", {own(Kind::kItem, "ITEM")}));
    return t;
}

const std::vector<Form>& table() {
    static const std::vector<Form> forms = buildTable();
    return forms;
}

// The form's words with its repeated ones written out.
std::vector<Word> expand(const Form& f) {
    std::vector<Word> words(f.words.begin(), f.words.end() - f.repeatWords);
    for (int i = 0; i < f.repeat; ++i) {
        words.insert(words.end(), f.words.end() - f.repeatWords, f.words.end());
    }
    return words;
}

std::string lower(const char* name) {
    std::string text = name;
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

std::string quoted(const std::string& word) { return "\"" + word + "\""; }

// A word read as the server reads it: its leading number.
struct Reading {
    int64_t value;
    bool partly;     // characters after the number, or no number at all
    bool saturated;  // beyond 32 bits
};

Reading readWhole(const std::string& word, int base = 10) {
    char* end = nullptr;
    errno = 0;
    int64_t value = std::strtol(word.c_str(), &end, base);
    const bool saturated = errno == ERANGE || value > INT32_MAX || value < INT32_MIN;
    if (saturated) value = value < 0 ? INT32_MIN : INT32_MAX;
    return {value, *end != '\0', saturated};
}

std::string realText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", value);
    return text;
}

struct Outcome {
    enum Why { kNone, kSplit, kCount, kKeyword, kValue };
    Why why = kNone;
    int stage = 0;
    size_t position = 0;
    std::string message;
    std::vector<std::string> warnings;

    void fail(Why reason, int at, size_t where, std::string text) {
        if (why == kNone || at < stage) {
            why = reason;
            stage = at;
            position = where;
            message = std::move(text);
        }
    }
};

// `word` checked as the server would read it in the place of `expected`.
void checkWord(const Word& expected, const std::string& label, const std::string& word,
               const std::string& before, size_t position, Outcome* out) {
    const auto warn = [&](const std::string& text) { out->warnings.push_back(text); };
    if (expected.kind == Kind::kKeyword) {
        if (word != expected.name) out->fail(Outcome::kKeyword, expected.stage, position, word);
        return;
    }
    if (expected.kind == Kind::kReal) {
        char* end = nullptr;
        const double value = std::strtod(word.c_str(), &end);
        // Beyond the float range the device's conversion gives an infinity.
        const double stored = value > FLT_MAX    ? HUGE_VAL
                              : value < -FLT_MAX ? -HUGE_VAL
                                                 : static_cast<double>(static_cast<float>(value));
        if (*end != '\0') warn(label + " " + quoted(word) + " is read as " + realText(value));
        if (std::isinf(stored) && !std::isinf(value)) {
            warn(label + " " + word + " is beyond single precision: the device stores " +
                 realText(stored));
        } else if (realText(stored) != realText(value)) {
            warn(label + " " + word +
                 " has more digits than single precision keeps: the device stores " +
                 realText(stored));
        }
        return;
    }
    if (expected.kind == Kind::kHexData) {
        const int64_t size = readWhole(before).value;
        int64_t fields = 0;
        bool warned = false;
        for (size_t start = 0;; ++fields) {
            const size_t colon = word.find(':', start);
            const std::string field = word.substr(start, colon - start);
            if (fields >= size) {
                out->fail(Outcome::kValue, expected.stage, position,
                          "DATA holds more fields than SIZE " + std::to_string(size));
                return;
            }
            if (field.size() > 2) {
                out->fail(Outcome::kValue, expected.stage, position,
                          "DATA field " + std::to_string(fields) + " " + quoted(field) +
                              " is more than two characters");
                return;
            }
            const Reading byte = readWhole(field, 16);
            if (byte.partly && !field.empty() && !warned) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(byte.value & 0xFF));
                warn("DATA field " + std::to_string(fields) + " " + quoted(field) + " is read as " +
                     hex);
                warned = true;
            }
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        ++fields;
        if (fields != kBlobSizes[0] && fields != kBlobSizes[1]) {
            out->fail(Outcome::kValue, expected.stage, position,
                      "DATA holds " + std::to_string(fields) + " fields; an MP.bin is " +
                          std::to_string(kBlobSizes[0]) + " or " + std::to_string(kBlobSizes[1]) +
                          " bytes");
        } else if (fields != size) {
            warn("SIZE " + std::to_string(size) + " is not the " + std::to_string(fields) +
                 " fields of DATA: the device stores " + std::to_string(fields) + " bytes");
        }
        return;
    }
    if (expected.kind == Kind::kText || expected.kind == Kind::kItem ||
        expected.kind == Kind::kOption)
        return;
    const Reading read = readWhole(word);
    if (read.partly) warn(label + " " + quoted(word) + " is read as " + std::to_string(read.value));
    const int64_t v = read.value;
    const std::string typed = label + " " + (read.partly ? std::to_string(v) : word);
    const std::string range = std::to_string(expected.lo) + " to " + std::to_string(expected.hi);
    switch (expected.kind) {
        case Kind::kIndex:
            if (v < expected.lo || v > expected.hi) {
                out->fail(Outcome::kValue, expected.stage, position,
                          std::string(expected.name).find('|') != std::string::npos
                              ? label + " takes " + expected.name + ", not " + std::to_string(v)
                              : typed + " is out of range " + range);
            }
            break;
        case Kind::kOrZero:
            if (v < expected.lo || v > expected.hi) {
                warn(typed + " is outside " + range + ": the device sets 0");
            }
            break;
        case Kind::kWrap:
            if (v < expected.lo || v > expected.hi) {
                const int64_t width = expected.hi - expected.lo + 1;
                const int64_t stored = expected.lo + (((v - expected.lo) % width) + width) % width;
                warn(typed + " is outside " + range + ": the device stores " +
                     std::to_string(stored));
            }
            break;
        case Kind::kWhole:
            if (read.saturated) {
                warn(typed + " is beyond 32 bits: the device stores " + std::to_string(v));
            }
            break;
        case Kind::kFlag:
            if (v != 0 && v != 1) warn(typed + " is neither 0 nor 1: the device stores 1");
            break;
        default:
            break;
    }
}

// How messages name a word of `f`: a VALUE by its keyword ("q 70000 ..."), a
// choice of codes by the item ("sig takes 0|1"), a short name as it is ("V5"),
// others in lower case ("channel 6 ...").
std::string label(const Word& w, const Form& f, const std::string& key) {
    const std::string name = w.name;
    if (name == "VALUE" && !key.empty()) return key;
    if (name.find('|') != std::string::npos) return f.item;
    return name.size() <= 2 ? name : lower(w.name);
}

// The server's checks of `args` (the words after the item) against form `f`.
Outcome checkSent(const Form& f, const std::vector<std::string>& args) {
    Outcome out;
    if (args.size() > kMaxWords) {
        out.fail(Outcome::kSplit, -2, 0,
                 "more than " + std::to_string(kMaxWords) + " words after the item");
    }
    if (args.size() < f.minWords) out.fail(Outcome::kCount, -1, 0, "");
    const std::vector<Word> words = expand(f);
    if ((f.count == Count::kExact && args.size() != words.size()) ||
        (f.count == Count::kAtLeast && args.size() < words.size())) {
        out.fail(Outcome::kCount, f.countStage, 0, "");
    }
    // A VALUE word is named by the keyword that selects it.
    std::string key;
    for (const Word& w : words) {
        if (w.kind == Kind::kKeyword && !w.decides) key = w.name;
    }
    for (size_t i = 0; i < words.size() && i < args.size(); ++i) {
        checkWord(words[i], label(words[i], f, key), args[i], i > 0 ? args[i - 1] : "", i, &out);
    }
    if (f.count == Count::kAtLeast && args.size() > words.size() && !words.empty()) {
        out.warnings.push_back("the words after " + std::string(words.back().name) +
                               " are ignored");
    }
    return out;
}

// dspctl's own options and words of `args` against form `f`.
Outcome checkOwn(const Form& f, const std::vector<std::string>& args, const std::string& line) {
    Outcome out;
    std::map<const Word*, std::string> used;  // each word of the form taken, as typed
    std::set<int> groups;
    const auto take = [&](const Word& w, const std::string& typed) {
        used[&w] = typed;
        if (w.group != 0) groups.insert(w.group);
    };
    const auto open = [&](const Word& w) {
        return used.count(&w) == 0 && (w.group == 0 || groups.count(w.group) == 0);
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const Word* match = nullptr;
        const bool option = word.size() > 1 && word[0] == '-';
        for (const Word& w : f.words) {
            if ((option ? w.kind == Kind::kOption && word == w.name : w.kind != Kind::kOption) &&
                open(w)) {
                match = &w;
                break;
            }
        }
        if (match == nullptr) {
            // A known option that is no longer open: say why, not just that.
            std::string why = ", not " + quoted(word);
            for (const Word& w : f.words) {
                if (!option || w.kind != Kind::kOption || word != w.name) continue;
                if (used.count(&w) != 0) {
                    why = ": " + word + " given twice";
                }
                for (const Word& other : f.words) {
                    if (&other != &w && w.group != 0 && other.group == w.group &&
                        used.count(&other)) {
                        why = ": " + quoted(used[&other]) + " and " + word + " exclude each other";
                    }
                }
            }
            out.fail(Outcome::kValue, 0, i,
                     f.item + std::string(" takes") + line.substr(std::strlen(f.item)) + why);
            return out;
        }
        take(*match, word);
        if (match->kind == Kind::kItem) {
            bool known = false;
            for (const Form& other : table()) {
                known = known || ((other.use & kTyped) && word == other.item);
            }
            if (!known) {
                out.fail(Outcome::kValue, 0, i, "no item " + quoted(word) + " (help lists them)");
                return out;
            }
        }
        if (match->value != nullptr) {
            if (++i == args.size()) {
                out.fail(Outcome::kValue, 0, i, word + " needs " + match->value + ": " + line);
                return out;
            }
        }
    }
    for (const Word& w : f.words) {
        if (!w.optional && open(w)) {
            out.fail(Outcome::kCount, 0, args.size(),
                     f.item + std::string(" needs ") + w.name + ": " + line);
            return out;
        }
    }
    return out;
}

// The tokens of a form as help shows it; `keywords` marks those that are
// keywords (alternatives may be merged there).
std::vector<std::string> tokens(const Form& f, std::vector<bool>* keywords) {
    std::vector<std::string> out;
    keywords->clear();
    for (size_t i = 0; i < f.words.size(); ++i) {
        const Word& w = f.words[i];
        std::string text = w.name;
        if (w.kind == Kind::kOption && w.value != nullptr) text += std::string(" ") + w.value;
        if (f.use & kOwn) {
            // A group's words as one choice.
            while (w.group != 0 && i + 1 < f.words.size() && f.words[i + 1].group == w.group) {
                text += std::string("|") + f.words[++i].name;
            }
            if (w.optional) text = "[" + text + "]";
        }
        out.push_back(text);
        keywords->push_back(w.kind == Kind::kKeyword && !(f.use & kOwn));
    }
    if (f.repeat > 1) {
        // "20x(TYPE CF ...)": the repeated words as one token.
        std::string group;
        for (size_t i = out.size() - f.repeatWords; i < out.size(); ++i) {
            group += (group.empty() ? "" : " ") + out[i];
        }
        out.resize(out.size() - f.repeatWords);
        keywords->resize(out.size());
        out.push_back(std::to_string(f.repeat) + "x(" + group + ")");
        keywords->push_back(false);
    }
    return out;
}

// Forms that differ only in keywords, as one line: "eq gain|cf|q BAND VALUE CHANNEL".
struct Line {
    std::string item;
    std::vector<std::vector<std::string>> choices;
    std::vector<bool> keywords;
    std::vector<const Form*> forms;

    std::string text() const {
        std::string out = item;
        for (const auto& choice : choices) {
            out += " ";
            for (size_t i = 0; i < choice.size(); ++i) out += (i > 0 ? "|" : "") + choice[i];
        }
        return out;
    }
};

std::vector<Line> lines(const std::vector<const Form*>& forms) {
    std::vector<Line> out;
    for (const Form* f : forms) {
        std::vector<bool> keywords;
        const std::vector<std::string> words = tokens(*f, &keywords);
        Line* into = nullptr;
        for (Line& line : out) {
            if (line.item != f->item || line.choices.size() != words.size()) continue;
            int differ = 0;
            bool fits = true;
            for (size_t i = 0; i < words.size(); ++i) {
                const auto& choice = line.choices[i];
                const bool known =
                    std::find(choice.begin(), choice.end(), words[i]) != choice.end();
                if (!known) {
                    ++differ;
                    fits = fits && keywords[i] && line.keywords[i];
                }
            }
            if (fits && differ <= 1) into = &line;
        }
        if (into == nullptr) {
            out.push_back({f->item, {}, keywords, {}});
            into = &out.back();
            into->choices.resize(words.size());
        }
        for (size_t i = 0; i < words.size(); ++i) {
            auto& choice = into->choices[i];
            if (std::find(choice.begin(), choice.end(), words[i]) == choice.end()) {
                choice.push_back(words[i]);
            }
        }
        into->forms.push_back(f);
    }
    return out;
}

std::string joinLines(const std::vector<const Form*>& forms, const char* separator) {
    std::string out;
    for (const Line& line : lines(forms)) out += (out.empty() ? "" : separator) + line.text();
    return out;
}

std::vector<const Form*> formsOf(const std::string& item, unsigned use) {
    std::vector<const Form*> out;
    for (const Form& f : table()) {
        if ((f.use & use) == use && item == f.item) out.push_back(&f);
    }
    return out;
}

// Keeps the forms a deciding keyword picks, as the server picks them before
// any other check ("bq channel ...", "hfaec seq en ...").
std::vector<const Form*> decide(std::vector<const Form*> forms,
                                const std::vector<std::string>& args) {
    for (size_t p = 0; p < args.size(); ++p) {
        std::vector<const Form*> picked;
        std::vector<const Form*> undecided;
        bool any = false;
        for (const Form* f : forms) {
            const bool decides =
                p < f->words.size() && f->words[p].kind == Kind::kKeyword && f->words[p].decides;
            any = any || decides;
            if (decides && args[p] == f->words[p].name) picked.push_back(f);
            if (!decides) undecided.push_back(f);
        }
        if (!any) continue;
        if (!picked.empty()) {
            forms = picked;
        } else if (!undecided.empty()) {
            forms = undecided;
        }
    }
    return forms;
}

// The word counts `forms` take: "1 word", "3 or 4 words", "2 or more words".
std::string countText(const std::vector<const Form*>& forms) {
    std::set<size_t> counts;
    bool more = false;
    for (const Form* f : forms) {
        counts.insert(std::max(expand(*f).size(), f->minWords));
        more = more || f->count == Count::kAtLeast;
    }
    std::string text;
    for (size_t n : counts) text += (text.empty() ? "" : " or ") + std::to_string(n);
    return text + (more ? " or more" : "") +
           (counts.size() == 1 && *counts.begin() == 1 && !more ? " word" : " words");
}

// The verdict on `words` against the forms of `use`.
CommandCheck judge(const std::vector<std::string>& words, unsigned use) {
    CommandCheck check;
    if (words.empty()) {
        check.message = "no command given";
        return check;
    }
    const std::string& item = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    const std::vector<const Form*> all = formsOf(item, use);
    if (all.empty()) {
        check.message = "no item " + quoted(item) + " (help lists them; a line beginning with " +
                        "\"dsp\" is sent unchecked)";
        return check;
    }
    std::vector<const Form*> sent;
    Outcome ownOutcome;
    bool ownFits = false;
    for (const Form* f : all) {
        if (!(f->use & kOwn)) {
            sent.push_back(f);
            continue;
        }
        size_t positional = 0;
        for (const Word& w : f->words) positional += w.kind != Kind::kOption ? 1 : 0;
        const Outcome out = checkOwn(*f, args, joinLines({f}, ""));
        if (out.why == Outcome::kNone) {
            check.verdict = CommandCheck::kAccepted;
            return check;
        }
        if (ownOutcome.why == Outcome::kNone || args.size() <= positional) {
            ownOutcome = out;
            ownFits = args.size() <= positional;
        }
    }
    std::vector<const Form*> candidates = decide(sent, args);
    std::vector<Outcome> outcomes;
    for (const Form* f : candidates) {
        outcomes.push_back(checkSent(*f, args));
        const Outcome& out = outcomes.back();
        if (out.why == Outcome::kNone) {
            check.verdict = out.warnings.empty() ? CommandCheck::kAccepted : CommandCheck::kWarning;
            for (const std::string& warning : out.warnings) {
                check.message += (check.message.empty() ? "" : "; ") + warning;
            }
            return check;
        }
    }
    if (candidates.empty() || (ownOutcome.why != Outcome::kNone && ownFits)) {
        check.message = ownOutcome.message;
        return check;
    }
    // The form that got furthest through the server's checks tells.
    size_t best = 0;
    for (size_t i = 1; i < outcomes.size(); ++i) {
        if (outcomes[i].stage > outcomes[best].stage) best = i;
    }
    const Outcome& worst = outcomes[best];
    std::vector<const Form*> alike;
    std::vector<std::string> names;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].why != worst.why || outcomes[i].stage != worst.stage) continue;
        alike.push_back(candidates[i]);
        if (worst.why == Outcome::kKeyword) {
            const char* name = candidates[i]->words[worst.position].name;
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
        }
    }
    switch (worst.why) {
        case Outcome::kCount:
            check.message = item + " takes " + countText(alike) + " after the item, not " +
                            std::to_string(args.size()) + ": " + joinLines(alike, " | ");
            break;
        case Outcome::kKeyword: {
            std::string choices;
            for (const std::string& name : names) choices += (choices.empty() ? "" : "|") + name;
            check.message = "unknown keyword " + quoted(worst.message) + " (" + choices +
                            "): " + joinLines(alike, " | ");
            break;
        }
        default:
            check.message = worst.message;
            break;
    }
    return check;
}

std::string describe(const Word& w) {
    const std::string range = std::to_string(w.lo) + " to " + std::to_string(w.hi);
    switch (w.kind) {
        case Kind::kIndex:
            return range + "; the device fails any other";
        case Kind::kOrZero:
            return range + "; any other number sets 0";
        case Kind::kWrap: {
            const int64_t width = w.hi - w.lo + 1;
            const int64_t sample = w.hi + 45;
            return range + "; others keep their low bits (" + std::to_string(sample) + " stores " +
                   std::to_string(w.lo + (sample - w.lo) % width) + ")";
        }
        case Kind::kWhole:
            return "a 32-bit whole number (beyond: the limit)";
        case Kind::kFlag:
            return "0 off, 1 on; any other number stores 1";
        case Kind::kReal:
            return "a real number (single precision)";
        case Kind::kHexData:
            return "one-byte hex fields hh:hh:..., 296 or 2560 of them";
        default:
            return "";
    }
}

}  // namespace

CommandCheck checkCommand(const std::vector<std::string>& words) { return judge(words, kTyped); }

std::string likelyFailReason(const std::vector<std::string>& words) {
    const CommandCheck check = judge(words, kSent);
    return check.verdict == CommandCheck::kRefused &&
                   !formsOf(words.empty() ? "" : words[0], kSent).empty()
               ? check.message
               : "";
}

constexpr size_t kHelpColumn = 32;

std::string commandHelp() {
    std::vector<const Form*> typed;
    for (const Form& f : table()) {
        if (f.use & kTyped) typed.push_back(&f);
    }
    std::string out;
    for (const Line& line : lines(typed)) {
        // The form, and what it does in a column of its own.
        std::string text = "  " + line.text();
        text += text.size() + 2 > kHelpColumn ? "\n" + std::string(kHelpColumn, ' ')
                                              : std::string(kHelpColumn - text.size(), ' ');
        out += text + line.forms.front()->about + "\n";
    }
    return out;
}

std::string commandHelp(const std::string& item) {
    const std::vector<const Form*> forms = formsOf(item, kTyped);
    if (forms.empty()) return "";
    std::string out;
    bool numbers = false;
    for (const Line& line : lines(forms)) {
        out += line.text() + "\n    " + line.forms.front()->about + "\n";
        // Each word once, with what its keyword makes of it where that differs:
        // "VALUE (cf, q): ...".
        const Form& first = *line.forms.front();
        for (size_t i = 0; i < first.words.size(); ++i) {
            std::vector<std::pair<std::string, std::string>> meanings;  // text, keywords
            for (const Form* f : line.forms) {
                const std::string text = describe(f->words[i]);
                std::string key;
                for (const Word& w : f->words) {
                    if (w.kind == Kind::kKeyword && !w.decides) key = w.name;
                }
                auto known = std::find_if(meanings.begin(), meanings.end(),
                                          [&](const auto& m) { return m.first == text; });
                if (known == meanings.end()) {
                    meanings.emplace_back(text, key);
                } else if (known->second.find(key) == std::string::npos) {
                    known->second += ", " + key;
                }
            }
            for (const auto& meaning : meanings) {
                if (meaning.first.empty()) continue;
                numbers = true;
                out += std::string("    ") + first.words[i].name +
                       (meanings.size() > 1 ? " (" + meaning.second + ")" : "") + ": " +
                       meaning.first + "\n";
            }
        }
        if (first.repeat > 1) {
            out += "    the " + std::to_string(first.repeatWords) +
                   " values come once for each of " + std::to_string(first.repeat) +
                   " bands: " + countText({&first}) + " in all\n";
        }
    }
    if (numbers) {
        out +=
            "A number is read up to the first character that is no part of it (\"5x\" is 5,\n"
            "\"abc\" is 0); dspctl warns of that, and of a value stored otherwise.\n";
    }
    return out;
}

std::vector<std::string> commandCompletions(const std::vector<std::string>& words) {
    std::vector<std::string> out;
    const auto add = [&](const std::string& word) {
        if (std::find(out.begin(), out.end(), word) == out.end()) out.push_back(word);
    };
    if (words.empty()) {
        for (const Form& f : table()) {
            if (f.use & kTyped) add(f.item);
        }
        return out;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());
    for (const Form* f : formsOf(words.front(), kTyped)) {
        if (f->use & kOwn) {
            // What is still free after the words so far.
            std::set<const Word*> used;
            std::set<int> groups;
            size_t positional = 0;
            bool wantsValue = false;
            for (const std::string& word : args) {
                wantsValue = false;
                for (const Word& w : f->words) {
                    if (w.kind == Kind::kOption && word == w.name) {
                        used.insert(&w);
                        groups.insert(w.group);
                        wantsValue = w.value != nullptr;
                    }
                }
                positional += word.empty() || word[0] != '-' ? 1 : 0;
            }
            if (wantsValue) continue;
            size_t seenPositional = 0;
            for (const Word& w : f->words) {
                const bool free =
                    used.count(&w) == 0 && (w.group == 0 || groups.count(w.group) == 0);
                if (w.kind == Kind::kOption && free) add(w.name);
                if (w.kind == Kind::kItem && seenPositional++ == positional) {
                    for (const std::string& name : commandCompletions({})) add(name);
                }
            }
            continue;
        }
        const std::vector<Word> formWords = expand(*f);
        if (args.size() >= formWords.size()) continue;
        bool fits = true;
        for (size_t i = 0; i < args.size(); ++i) {
            fits = fits && (formWords[i].kind != Kind::kKeyword || args[i] == formWords[i].name);
        }
        if (fits && formWords[args.size()].kind == Kind::kKeyword) add(formWords[args.size()].name);
    }
    return out;
}

std::vector<std::vector<std::string>> commandExamples() {
    std::vector<std::vector<std::string>> out;
    for (const Form& f : table()) {
        if (!(f.use & kSent)) continue;
        std::vector<std::string> words = {f.item};
        for (const Word& w : expand(f)) {
            switch (w.kind) {
                case Kind::kKeyword:
                    words.push_back(w.name);
                    break;
                case Kind::kReal:
                    words.push_back("-1.5");
                    break;
                case Kind::kWhole:
                    words.push_back("-7");
                    break;
                case Kind::kHexData: {
                    std::string data;
                    const int64_t size = readWhole(words.back()).value;
                    for (int64_t i = 0; i < size; ++i) {
                        char field[4];
                        std::snprintf(field, sizeof field, "%02x", static_cast<unsigned>(i & 0xFF));
                        data += (i > 0 ? ":" : "") + std::string(field);
                    }
                    words.push_back(data);
                    break;
                }
                default:
                    words.push_back(std::to_string(w.hi));
                    break;
            }
        }
        out.push_back(words);
    }
    return out;
}

std::string commandLine(const std::vector<std::string>& words) {
    std::string line = "dsp";
    for (const std::string& word : words) {
        line += " " + word;
    }
    return line + "\n";
}
