#include "AppendFormat.h"

#include <cstdarg>
#include <cstdio>

int appendFormat(char* buffer, int size, const char* format, ...) {
    if (buffer == nullptr || size < 2) {
        return 0;
    }
    va_list args;
    va_start(args, format);
    const int result = std::vsnprintf(buffer, static_cast<size_t>(size - 1), format, args);
    va_end(args);
    return result;
}
