// Bounded formatted append used to build report texts.
#ifndef AUDIO_APPEND_FORMAT_H
#define AUDIO_APPEND_FORMAT_H

#include <cstdarg>

// Formats into `buffer` with vsnprintf, passing size - 1 as the limit: at most
// size - 2 characters and a NUL are written and the last byte of the stated
// size is never touched. Nothing is written when size is below 2. Callers
// append at buffer + strlen(buffer) with size reduced by that length. Returns
// what vsnprintf returns (0 when nothing was formatted); reports ignore it.
int appendFormat(char* buffer, int size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// The same with the arguments already gathered, for helpers that take a
// format of their own. `args` is consumed.
int appendFormatV(char* buffer, int size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

#endif  // AUDIO_APPEND_FORMAT_H
