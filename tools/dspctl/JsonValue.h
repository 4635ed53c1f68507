// A small JSON document: null, booleans, numbers kept as the text they were
// printed with (so a value goes out exactly as the server printed it),
// strings, arrays and objects whose keys keep their insertion order.
// Writing and parsing go through RapidJSON, whose raw numbers keep that text
// both ways: a state file read back writes out byte for byte as it was.
//
// Children live on the heap: a reference to a child stays valid while its
// parent lives, however many siblings are added after it. Move-only.
// Not thread-safe.
#ifndef TOOLS_DSPCTL_JSON_VALUE_H
#define TOOLS_DSPCTL_JSON_VALUE_H

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class JsonValue {
public:
    enum Type { kNull, kBool, kNumber, kString, kArray, kObject };

    JsonValue() = default;
    JsonValue(JsonValue&&) = default;
    JsonValue& operator=(JsonValue&&) = default;

    static JsonValue boolean(bool value);
    // `text` must be a JSON number as written (e.g. "-3.500000"); it is
    // written out unchanged.
    static JsonValue number(std::string text);
    static JsonValue string(std::string text);
    static JsonValue array();
    static JsonValue object();

    Type type() const { return mType; }
    // The number's text, the string, or "true"/"false".
    const std::string& text() const { return mText; }

    // Arrays: appends and returns the new element.
    JsonValue& append(JsonValue value);
    // Objects: adds `key` (or replaces its value, keeping its place) and
    // returns the value.
    JsonValue& set(const std::string& key, JsonValue value);

    // Element count of an array or object; 0 otherwise.
    size_t size() const { return mItems.size(); }
    // The i-th element (array) or value (object); i < size().
    const JsonValue& at(size_t i) const { return *mItems[i].second; }
    const std::string& keyAt(size_t i) const { return mItems[i].first; }
    // An object's value for `key`, or null when absent or not an object.
    const JsonValue* find(const std::string& key) const;

    // A deep copy.
    JsonValue copy() const;

    // Removes, depth first, every array or object left without elements;
    // the value itself stays even when it ends up empty.
    void pruneEmpty();

    // The document as text. Arrays holding only scalars go on one line;
    // other arrays and every object put one element per line, indented by
    // two spaces per level. No trailing newline.
    std::string write() const;

    // Parses one whole document (nothing but white space after it) into
    // *out. Returns true, or false with the offset and reason in *problem.
    static bool parse(const std::string& text, JsonValue* out, std::string* problem);

private:
    friend class JsonBuilder;
    explicit JsonValue(Type type, std::string text = std::string())
        : mType(type), mText(std::move(text)) {}
    template <typename Writer>
    void writeTo(Writer& writer) const;
    bool isFlat() const;

    Type mType = kNull;
    std::string mText;
    // Arrays leave the key empty.
    std::vector<std::pair<std::string, std::unique_ptr<JsonValue>>> mItems;
};

#endif  // TOOLS_DSPCTL_JSON_VALUE_H
