// One section of a report line ("sync", "hfsync"): a text in a heap buffer of
// its own, taken per request and released with the object on every path,
// that grows by appendFormat at its end.
//
// Sections are sized at the reply capacity. A section lands in the reply
// behind the report's leading words, so it can only be cut where the report
// line itself is cut, and then the line has lost its end mark too: a peer
// never gets cut data inside a report that still ends in "[ok]".
//
// Not thread-safe; one request uses it on one thread.
#ifndef AUDIO_REPORT_TEXT_H
#define AUDIO_REPORT_TEXT_H

#include <cstddef>
#include <memory>
#include <type_traits>

class ReportText {
public:
    // Takes a zero-filled buffer of `replyCapacity` bytes (at least one).
    // ok() tells whether the memory was had.
    explicit ReportText(int replyCapacity);

    bool ok() const { return mText != nullptr; }

    // Formats at the end of the text; whatever would pass the buffer's
    // capacity minus 2 characters is left out. Does nothing when !ok().
    void append(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Appends ":<value>" for each of `values`: floats widened to double with
    // "%f", whole numbers with "%d" (unsigned ones without sign).
    template <typename T, size_t N>
    void appendValues(const T (&values)[N]) {
        static_assert(
            std::is_floating_point<T>::value ||
                (std::is_integral<T>::value &&
                 (std::is_signed<T>::value ? sizeof(T) <= sizeof(int) : sizeof(T) < sizeof(int))),
            "every value must print exactly through %f or %d");
        for (const T& value : values) {
            if constexpr (std::is_floating_point<T>::value) {
                append(":%f", static_cast<double>(value));
            } else {
                append(":%d", static_cast<int>(value));
            }
        }
    }

    // The text so far, NUL-terminated; "" when !ok(). Valid while the object
    // lives.
    const char* text() const { return ok() ? mText.get() : ""; }

private:
    std::unique_ptr<char[]> mText;
    int mCapacity;
    int mLength = 0;
};

#endif  // AUDIO_REPORT_TEXT_H
