// The MP.bin blob written as hexadecimal text: the data word of "mpbin".
//
// The word is a list of fields separated by ":", one byte each; every ":"
// opens a field, a leading or trailing one too, so there is one field more
// than there are colons. A field is at most two characters, read as a
// base-16 number (either case, a sign accepted, reading stops at the first
// character that is not a hex digit, no digit gives 0) and reduced to its low
// 8 bits: "0A", "a" and "A" give 0x0A, "G1" gives 0, "-1" gives 0xFF. The sign
// is one of the two characters, so "-1" is a field and "-01" is not. An
// empty field repeats the field before it, or is 0 when it is the first.
#ifndef AUDIO_MP_BIN_TEXT_H
#define AUDIO_MP_BIN_TEXT_H

#include <cstddef>
#include <cstdint>

constexpr int kMpBinFieldWidth = 2;

struct MpBinTextResult {
    enum Status {
        kOk,             // every field stored
        kTooManyFields,  // more fields than `capacity`
        kWideField,      // a field longer than kMpBinFieldWidth characters
    };
    Status status;
    // kOk: the number of fields, all stored in data[0 .. fields - 1].
    // Otherwise: the index (from 0) of the field that stopped the parse;
    // for kTooManyFields it equals `capacity`.
    int fields;
};

// Parses the `length` bytes at `text` (no NUL needed; nothing at or past
// text + length is read) field by field into `data`, which has room for
// `capacity` bytes. The fields are checked in order and the first field that
// is too wide or beyond `capacity` stops the parse; no byte is ever written
// at data + capacity or beyond. Bytes of fields before the stopping one are
// stored; data is otherwise left as it was. Pure: no logging, no state.
MpBinTextResult parseMpBinText(const char* text, size_t length, uint8_t* data, int capacity);

#endif  // AUDIO_MP_BIN_TEXT_H
