#include "NumberWords.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

int32_t wordToInt(const char* word, int base) {
    if (word == nullptr) {
        return 0;
    }
    const long value = std::strtol(word, nullptr, base);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

float wordToFloat(const char* word) {
    if (word == nullptr) {
        return 0.0f;
    }
    const double value = std::strtod(word, nullptr);
    // Narrowing a finite double beyond the float range is undefined; the
    // device's float conversion gives an infinity there.
    if (value > FLT_MAX) {
        return HUGE_VALF;
    }
    if (value < -FLT_MAX) {
        return -HUGE_VALF;
    }
    return static_cast<float>(value);
}

bool wordToChannelMask(const char* word, uint32_t* mask) {
    const int32_t index = wordToInt(word);
    if (!atMost(index, kOutputChannels - 1)) {
        return false;
    }
    *mask = 1u << index;
    return true;
}
