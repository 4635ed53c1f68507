#include "JsonValue.h"

#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/reader.h>
#include <rapidjson/stringbuffer.h>

JsonValue JsonValue::boolean(bool value) { return JsonValue(kBool, value ? "true" : "false"); }

JsonValue JsonValue::number(std::string text) { return JsonValue(kNumber, std::move(text)); }

JsonValue JsonValue::string(std::string text) { return JsonValue(kString, std::move(text)); }

JsonValue JsonValue::array() { return JsonValue(kArray); }

JsonValue JsonValue::object() { return JsonValue(kObject); }

JsonValue& JsonValue::append(JsonValue value) {
    mItems.emplace_back(std::string(), std::make_unique<JsonValue>(std::move(value)));
    return *mItems.back().second;
}

JsonValue& JsonValue::set(const std::string& key, JsonValue value) {
    for (auto& item : mItems) {
        if (item.first == key) {
            *item.second = std::move(value);
            return *item.second;
        }
    }
    mItems.emplace_back(key, std::make_unique<JsonValue>(std::move(value)));
    return *mItems.back().second;
}

const JsonValue* JsonValue::find(const std::string& key) const {
    if (mType != kObject) {
        return nullptr;
    }
    for (const auto& item : mItems) {
        if (item.first == key) {
            return item.second.get();
        }
    }
    return nullptr;
}

JsonValue JsonValue::copy() const {
    JsonValue value(mType, mText);
    for (const auto& item : mItems) {
        value.mItems.emplace_back(item.first, std::make_unique<JsonValue>(item.second->copy()));
    }
    return value;
}

void JsonValue::pruneEmpty() {
    std::vector<std::pair<std::string, std::unique_ptr<JsonValue>>> kept;
    for (auto& item : mItems) {
        JsonValue& child = *item.second;
        if (child.mType == kArray || child.mType == kObject) {
            child.pruneEmpty();
            if (child.mItems.empty()) {
                continue;
            }
        }
        kept.push_back(std::move(item));
    }
    mItems = std::move(kept);
}

bool JsonValue::isFlat() const {
    for (const auto& item : mItems) {
        if (item.second->mType == kArray || item.second->mType == kObject) {
            return false;
        }
    }
    return true;
}

std::string JsonValue::write() const {
    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 2);
    writeTo(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

template <typename Writer>
void JsonValue::writeTo(Writer& writer) const {
    switch (mType) {
        case kNull:
            writer.Null();
            return;
        case kBool:
            writer.Bool(mText == "true");
            return;
        case kNumber:
            writer.RawValue(mText.data(), mText.size(), rapidjson::kNumberType);
            return;
        case kString:
            writer.String(mText.data(), static_cast<rapidjson::SizeType>(mText.size()));
            return;
        case kObject:
            writer.StartObject();
            for (const auto& item : mItems) {
                writer.Key(item.first.data(), static_cast<rapidjson::SizeType>(item.first.size()));
                item.second->writeTo(writer);
            }
            writer.EndObject();
            return;
        case kArray:
            break;
    }
    // The writer lays out by its options at each element, so an array of
    // scalars switches to one line for its elements and its end only; its
    // own place in the parent is laid out as the parent's.
    const bool flat = isFlat();
    writer.StartArray();
    if (flat) {
        writer.SetFormatOptions(rapidjson::kFormatSingleLineArray);
    }
    for (const auto& item : mItems) {
        item.second->writeTo(writer);
    }
    writer.EndArray();
    writer.SetFormatOptions(rapidjson::kFormatDefault);
}

// Builds a JsonValue from the reader's events; numbers come as their text.
class JsonBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, JsonBuilder> {
public:
    explicit JsonBuilder(JsonValue* root) : mRoot(root) {}

    bool Null() { return add(JsonValue()); }
    bool Bool(bool value) { return add(JsonValue::boolean(value)); }
    bool RawNumber(const char* text, rapidjson::SizeType length, bool) {
        return add(JsonValue::number(std::string(text, length)));
    }
    bool String(const char* text, rapidjson::SizeType length, bool) {
        return add(JsonValue::string(std::string(text, length)));
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        mKey.assign(text, length);
        return true;
    }
    bool StartObject() { return open(JsonValue::object()); }
    bool EndObject(rapidjson::SizeType) { return close(); }
    bool StartArray() { return open(JsonValue::array()); }
    bool EndArray(rapidjson::SizeType) { return close(); }

private:
    JsonValue& place(JsonValue value) {
        if (mOpen.empty()) {
            *mRoot = std::move(value);
            return *mRoot;
        }
        JsonValue& parent = *mOpen.back();
        return parent.mType == JsonValue::kArray ? parent.append(std::move(value))
                                                 : parent.set(mKey, std::move(value));
    }
    bool add(JsonValue value) {
        place(std::move(value));
        return true;
    }
    bool open(JsonValue value) {
        mOpen.push_back(&place(std::move(value)));
        return true;
    }
    bool close() {
        mOpen.pop_back();
        return true;
    }

    JsonValue* mRoot;
    std::vector<JsonValue*> mOpen;
    std::string mKey;
};

bool JsonValue::parse(const std::string& text, JsonValue* out, std::string* problem) {
    *out = JsonValue();
    JsonBuilder builder(out);
    rapidjson::Reader reader;
    rapidjson::StringStream stream(text.c_str());
    constexpr unsigned kFlags =
        rapidjson::kParseNumbersAsStringsFlag | rapidjson::kParseValidateEncodingFlag;
    const rapidjson::ParseResult result = reader.Parse<kFlags>(stream, builder);
    if (result.IsError()) {
        *problem = "at byte " + std::to_string(result.Offset()) + ": " +
                   rapidjson::GetParseError_En(result.Code());
        return false;
    }
    // A NUL inside the text ends the stream early.
    if (text.find('\0') != std::string::npos) {
        *problem = "at byte " + std::to_string(text.find('\0')) + ": a NUL byte";
        return false;
    }
    return true;
}
