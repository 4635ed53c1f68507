#include "ReportText.h"

#include <cstdarg>
#include <cstring>
#include <new>

#include "AppendFormat.h"

ReportText::ReportText(int replyCapacity)
    : mText(new (std::nothrow) char[replyCapacity > 0 ? replyCapacity : 1]()),
      mCapacity(replyCapacity > 0 ? replyCapacity : 1) {}

void ReportText::append(const char* format, ...) {
    if (!ok()) {
        return;
    }
    char* end = mText.get() + mLength;
    va_list args;
    va_start(args, format);
    appendFormatV(end, mCapacity - mLength, format, args);
    va_end(args);
    mLength += static_cast<int>(std::strlen(end));
}
