#include "MpBinText.h"

#include <cstring>

#include "NumberWords.h"

MpBinTextResult parseMpBinText(const char* text, size_t length, uint8_t* data, int capacity) {
    // The field text outlives each field: an empty field leaves it as it was
    // and so repeats the value before it.
    char field[kMpBinFieldWidth + 1] = {};
    const char* const end = text + length;
    const char* start = text;
    int count = 0;
    for (;;) {
        const void* colon =
            start < end ? std::memchr(start, ':', static_cast<size_t>(end - start)) : nullptr;
        const char* const stop = colon != nullptr ? static_cast<const char*>(colon) : end;
        const size_t width = static_cast<size_t>(stop - start);
        if (width > static_cast<size_t>(kMpBinFieldWidth)) {
            return {MpBinTextResult::kWideField, count};
        }
        if (width > 0) {
            std::memcpy(field, start, width);
            field[width] = '\0';
        }
        if (count >= capacity) {
            return {MpBinTextResult::kTooManyFields, count};
        }
        data[count++] = low8(wordToInt(field, 16));
        if (colon == nullptr) {
            return {MpBinTextResult::kOk, count};
        }
        start = stop + 1;
    }
}
