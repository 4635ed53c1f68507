#include "ReportDecoder.h"

#include <cctype>
#include <initializer_list>
#include <vector>

namespace {

constexpr int kChannels = 6;
constexpr int kEqBands = 8;
constexpr int kBassTrebleBands = 2;
constexpr int kBiquadBands = 20;
constexpr int kMicChannels = 2;

const char kEndMark[] = "[ok]";

bool allDigits(const std::string& text, size_t from, size_t to) {
    if (from >= to) {
        return false;
    }
    for (size_t i = from; i < to; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

// A whole number as %d prints it: an optional minus, no leading zeros.
bool isWholeNumber(const std::string& text) {
    const size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    if (!allDigits(text, start, text.size())) {
        return false;
    }
    return text[start] != '0' || text.size() == start + 1;
}

// A float as %f prints a finite value: digits, a point and six decimals.
bool isFixedFloat(const std::string& text) {
    const size_t point = text.find('.');
    if (point == std::string::npos || text.size() - point != 7) {
        return false;
    }
    // "-0.000000" is how a small negative value prints; isWholeNumber takes "-0".
    return isWholeNumber(text.substr(0, point)) && allDigits(text, point + 1, text.size());
}

bool isNonFinite(const std::string& text) {
    return text == "inf" || text == "-inf" || text == "nan" || text == "-nan";
}

// Walks the fields of a report line in order. After the first field that is
// missing or wrong it stops: every later call does nothing and returns false,
// so a decoder states the report's shape once, without a check per field.
class FieldCursor {
public:
    explicit FieldCursor(const std::string& line) {
        const size_t endLength = sizeof kEndMark;  // with the ":" before it
        mComplete = line.size() >= endLength &&
                    line.compare(line.size() - endLength, endLength, ":[ok]") == 0;
        size_t start = 0;
        for (;;) {
            const size_t colon = line.find(':', start);
            if (colon == std::string::npos) {
                // The last field of a cut line may itself be cut.
                if (mComplete) {
                    mFields.push_back(line.substr(start));
                }
                break;
            }
            mFields.push_back(line.substr(start, colon - start));
            start = colon + 1;
        }
    }

    bool label(const char* name) {
        const std::string* field = next();
        if (field == nullptr) {
            return false;
        }
        if (*field != name) {
            return fault(std::string("expected \"") + name + "\", got \"" + *field + "\"");
        }
        return true;
    }

    bool text(JsonValue& into, const char* key) {
        const std::string* field = next();
        if (field == nullptr) {
            return false;
        }
        put(into, key, JsonValue::string(*field));
        return true;
    }

    bool whole(JsonValue& into, const char* key = nullptr) {
        const std::string* field = next();
        if (field == nullptr) {
            return false;
        }
        if (!isWholeNumber(*field)) {
            return fault("expected a whole number, got \"" + *field + "\"");
        }
        put(into, key, JsonValue::number(*field));
        return true;
    }

    bool real(JsonValue& into, const char* key = nullptr) {
        const std::string* field = next();
        if (field == nullptr) {
            return false;
        }
        if (isFixedFloat(*field)) {
            put(into, key, JsonValue::number(*field));
        } else if (isNonFinite(*field)) {
            put(into, key, JsonValue::string(*field));
        } else {
            return fault("expected a number with six decimals, got \"" + *field + "\"");
        }
        return true;
    }

    // The end mark, and nothing after it.
    bool end() {
        if (!label(kEndMark)) {
            return false;
        }
        if (mNext != mFields.size()) {
            return fault("text after the end mark");
        }
        return true;
    }

    // Fills in "complete", prunes what the cut left empty and says how the
    // decoding went.
    DecodedReport finish(JsonValue values) {
        DecodedReport result;
        if (!mProblem.empty()) {
            result.status = DecodedReport::kMalformed;
            result.problem = mProblem;
        } else if (mStopped) {
            result.status = DecodedReport::kPartial;
        } else {
            result.status = DecodedReport::kComplete;
        }
        values.set("complete", JsonValue::boolean(result.status == DecodedReport::kComplete));
        values.pruneEmpty();
        result.values = std::move(values);
        return result;
    }

private:
    const std::string* next() {
        if (mStopped) {
            return nullptr;
        }
        if (mNext == mFields.size()) {
            mStopped = true;
            if (mComplete) {
                // The end mark came, yet fields are missing.
                mProblem = "report ends after " + std::to_string(mNext) + " fields, too early";
            }
            return nullptr;
        }
        return &mFields[mNext++];
    }

    bool fault(const std::string& problem) {
        mStopped = true;
        mProblem = "field " + std::to_string(mNext - 1) + ": " + problem;
        return false;
    }

    static void put(JsonValue& into, const char* key, JsonValue value) {
        if (key != nullptr) {
            into.set(key, std::move(value));
        } else {
            into.append(std::move(value));
        }
    }

    std::vector<std::string> mFields;
    size_t mNext = 0;
    bool mComplete = false;
    bool mStopped = false;
    std::string mProblem;
};

JsonValue reportHead(const char* name) {
    JsonValue values = JsonValue::object();
    values.set("report", JsonValue::string(name));
    values.set("complete", JsonValue::boolean(false));  // settled by finish()
    return values;
}

void wholes(FieldCursor& cursor, JsonValue& record, const char* key, int count) {
    JsonValue& list = record.set(key, JsonValue::array());
    for (int i = 0; i < count; ++i) {
        cursor.whole(list);
    }
}

void reals(FieldCursor& cursor, JsonValue& record, const char* key, int count) {
    JsonValue& list = record.set(key, JsonValue::array());
    for (int i = 0; i < count; ++i) {
        cursor.real(list);
    }
}

// "seq" or "req": en, then cf, gain and q of the 8 bands.
void handsfreeEqualizer(FieldCursor& cursor, JsonValue& values, const char* name) {
    cursor.label(name);
    JsonValue& eq = values.set(name, JsonValue::object());
    cursor.whole(eq, "en");
    wholes(cursor, eq, "cf", kEqBands);
    reals(cursor, eq, "gain", kEqBands);
    reals(cursor, eq, "q", kEqBands);
}

}  // namespace

DecodedReport decodeSyncReport(const std::string& line) {
    FieldCursor cursor(line);
    JsonValue values = reportHead("sync");
    cursor.label("dsp sync");
    cursor.text(values, "tag");

    cursor.label("vol");
    JsonValue& vol = values.set("vol", JsonValue::object());
    cursor.whole(vol, "layout");
    cursor.whole(vol, "master");
    wholes(cursor, vol, "gain", kChannels);

    cursor.label("delay");
    reals(cursor, values, "delay", kChannels);

    cursor.label("eq");
    JsonValue& eq = values.set("eq", JsonValue::array());
    for (int channel = 0; channel < kChannels; ++channel) {
        JsonValue& record = eq.append(JsonValue::object());
        wholes(cursor, record, "cf", kEqBands);
        wholes(cursor, record, "q", kEqBands);
        reals(cursor, record, "gain", kEqBands);
    }

    cursor.label("eqbt");
    JsonValue& eqbt = values.set("eqbt", JsonValue::array());
    for (int channel = 0; channel < kChannels; ++channel) {
        JsonValue& record = eqbt.append(JsonValue::object());
        wholes(cursor, record, "cf", kBassTrebleBands);
        reals(cursor, record, "gain", kBassTrebleBands);
    }

    cursor.label("ftr");
    JsonValue& ftr = values.set("ftr", JsonValue::array());
    for (int channel = 0; channel < kChannels; ++channel) {
        JsonValue& record = ftr.append(JsonValue::object());
        for (const char* key : {"value1", "value2", "value3", "value4", "value5", "value6"}) {
            cursor.whole(record, key);
        }
    }

    cursor.label("loud");
    JsonValue& loud = values.set("loud", JsonValue::object());
    for (const char* key : {"value1", "value2", "value3"}) {
        cursor.whole(loud, key);
    }

    cursor.label("bq");
    JsonValue& bq = values.set("bq", JsonValue::array());
    for (int channel = 0; channel < kChannels; ++channel) {
        JsonValue& bands = bq.append(JsonValue::array());
        for (int band = 0; band < kBiquadBands; ++band) {
            JsonValue& record = bands.append(JsonValue::object());
            cursor.whole(record, "type");
            cursor.whole(record, "cf");
            cursor.real(record, "gain");
            cursor.real(record, "q");
            cursor.whole(record, "method");
            cursor.whole(record, "slope");
            cursor.whole(record, "phase");
        }
    }

    cursor.end();
    return cursor.finish(std::move(values));
}

DecodedReport decodeHfsyncReport(const std::string& line) {
    FieldCursor cursor(line);
    JsonValue values = reportHead("hfsync");
    cursor.label("dsp hfsync");
    cursor.text(values, "tag");

    cursor.label("opgain");
    reals(cursor, values, "opgain", kMicChannels);
    cursor.label("pgagain");
    reals(cursor, values, "pgagain", kMicChannels);

    handsfreeEqualizer(cursor, values, "seq");
    handsfreeEqualizer(cursor, values, "req");

    cursor.label("duplex");
    cursor.whole(values, "duplex");
    cursor.label("nr");
    cursor.whole(values, "nr");

    cursor.label("nlp");
    JsonValue& nlp = values.set("nlp", JsonValue::object());
    for (const char* key : {"pfWeightIdx", "cnEstiIdx", "cnExecIdx"}) {
        cursor.whole(nlp, key);
    }

    cursor.label("uplink");
    cursor.real(values, "uplink");

    cursor.end();
    return cursor.finish(std::move(values));
}
