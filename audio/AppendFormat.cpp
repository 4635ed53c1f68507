#include "AppendFormat.h"

#include <cstdio>

int appendFormat(char* buffer, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int result = appendFormatV(buffer, size, format, args);
    va_end(args);
    return result;
}

int appendFormatV(char* buffer, int size, const char* format, va_list args) {
    if (buffer == nullptr || size < 2) {
        return 0;
    }
    return std::vsnprintf(buffer, static_cast<size_t>(size - 1), format, args);
}
