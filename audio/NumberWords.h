// Conversions of argument words to numbers, shared by every DSP item.
//
// Words convert as with a 32-bit `long` on every platform we build for: the
// leading number is read (base 10 unless stated), no end pointer is examined,
// so a word without a leading number gives 0 and is no error, and a whole
// number beyond the 32-bit range saturates to the 32-bit limits before any
// narrowing or unsigned comparison.
#ifndef AUDIO_NUMBER_WORDS_H
#define AUDIO_NUMBER_WORDS_H

#include <cstdint>

// strtol in `base`, saturated to [INT32_MIN, INT32_MAX]. A null word gives 0.
int32_t wordToInt(const char* word, int base = 10);

// strtod narrowed to single precision (beyond the float range: an infinity).
float wordToFloat(const char* word);

// The low bits of a converted number, for narrow fields: 70000 gives 4464,
// -1 gives 65535.
inline uint16_t low16(int32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }
inline uint8_t low8(int32_t value) { return static_cast<uint8_t>(value & 0xFF); }

// True when `value`, taken as an unsigned 32-bit number, is at most `max`:
// every negative number is out of range.
inline bool atMost(int32_t value, uint32_t max) { return static_cast<uint32_t>(value) <= max; }

constexpr int kOutputChannels = 6;

// Converts a channel index word 0 to 5 to its channel mask (1 << index).
// Returns false for any other index, negative ones included.
bool wordToChannelMask(const char* word, uint32_t* mask);

#endif  // AUDIO_NUMBER_WORDS_H
