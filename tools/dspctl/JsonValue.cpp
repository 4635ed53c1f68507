#include "JsonValue.h"

#include <cstdio>

namespace {

void writeString(const std::string& text, std::string* out) {
    *out += '"';
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                *out += "\\\"";
                break;
            case '\\':
                *out += "\\\\";
                break;
            case '\n':
                *out += "\\n";
                break;
            case '\r':
                *out += "\\r";
                break;
            case '\t':
                *out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    *out += escaped;
                } else {
                    *out += c;
                }
        }
    }
    *out += '"';
}

}  // namespace

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
    std::string out;
    writeTo(&out, 0);
    return out;
}

void JsonValue::writeTo(std::string* out, int depth) const {
    switch (mType) {
        case kNull:
            *out += "null";
            return;
        case kBool:
        case kNumber:
            *out += mText;
            return;
        case kString:
            writeString(mText, out);
            return;
        case kArray:
        case kObject:
            break;
    }
    const char open = mType == kArray ? '[' : '{';
    const char close = mType == kArray ? ']' : '}';
    const bool flat = isFlat();
    const std::string indent(static_cast<size_t>(depth + 1) * 2, ' ');
    *out += open;
    for (size_t i = 0; i < mItems.size(); ++i) {
        if (i > 0) {
            *out += flat ? ", " : ",";
        }
        if (!flat) {
            *out += '\n';
            *out += indent;
        }
        if (mType == kObject) {
            writeString(mItems[i].first, out);
            *out += ": ";
        }
        mItems[i].second->writeTo(out, depth + 1);
    }
    if (!flat && !mItems.empty()) {
        *out += '\n';
        *out += std::string(static_cast<size_t>(depth) * 2, ' ');
    }
    *out += close;
}
