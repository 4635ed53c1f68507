#include "AudioPrint.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "SimService.h"

namespace {

// A line longer than this is cut; it still ends in "\n".
constexpr size_t kLineMax = 4096;

// Lines captured while any LogCapture is alive. Function-local so that
// audioPrint works from static initialisers of other files too.
struct Capture {
    std::mutex mutex;
    int alive = 0;
    std::vector<std::string> lines;
};

Capture& capture() {
    static Capture instance;
    return instance;
}

// One write(2) for the whole line keeps lines of two threads apart; the loop
// only finishes a partial write or one interrupted by a signal.
int writeAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -errno;
        }
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

// Formats the level prefix without printf: it takes only "%s" (tag, file,
// func, in order) and "%d" (line), and printf's parsing of it was most of what
// a log line cost. Returns false, having written nothing that counts, for any
// other conversion, so the caller can fall back to snprintf.
bool formatPrefix(char* buffer, size_t size, const char* prefix, const char* const strings[3],
                  int line, size_t* length) {
    size_t at = 0;
    int nextString = 0;
    for (const char* p = prefix; *p != '\0'; ++p) {
        if (*p != '%') {
            if (at + 1 >= size) {
                return false;
            }
            buffer[at++] = *p;
            continue;
        }
        ++p;
        if (*p == 's' && nextString < 3) {
            for (const char* q = strings[nextString++]; *q != '\0'; ++q) {
                if (at + 1 >= size) {
                    return false;
                }
                buffer[at++] = *q;
            }
        } else if (*p == 'd' && nextString == 3) {
            char digits[12];
            unsigned int magnitude =
                line < 0 ? 0u - static_cast<unsigned int>(line) : static_cast<unsigned int>(line);
            int count = 0;
            do {
                digits[count++] = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude != 0);
            if (line < 0) {
                digits[count++] = '-';
            }
            if (at + static_cast<size_t>(count) + 1 >= size) {
                return false;
            }
            while (count > 0) {
                buffer[at++] = digits[--count];
            }
            nextString = 4;  // nothing may follow the line number but text
        } else {
            return false;
        }
    }
    buffer[at] = '\0';
    *length = at;
    return true;
}

}  // namespace

int audioPrint(const char* prefix, const char* tag, const char* file, const char* func, int line,
               const char* format, ...) {
    char buffer[kLineMax];
    size_t length = 0;

    if (prefix != nullptr) {
        const char* const strings[3] = {tag != nullptr ? tag : "", file != nullptr ? file : "",
                                        func != nullptr ? func : ""};
        if (!formatPrefix(buffer, sizeof buffer, prefix, strings, line, &length)) {
            int n = std::snprintf(buffer, sizeof buffer, prefix, strings[0], strings[1], strings[2],
                                  line);
            length = n > 0 ? static_cast<size_t>(n) : 0;
        }
    }
    if (format != nullptr && length < sizeof buffer - 1) {
        va_list args;
        va_start(args, format);
        int n = std::vsnprintf(buffer + length, sizeof buffer - length, format, args);
        va_end(args);
        length += n > 0 ? static_cast<size_t>(n) : 0;
    }
    if (length > sizeof buffer - 1) {  // cut by snprintf: keep the line a line
        length = sizeof buffer - 1;
        buffer[length - 1] = '\n';
        buffer[length] = '\0';
    }

    {
        Capture& c = capture();
        std::lock_guard<std::mutex> lock(c.mutex);
        if (c.alive > 0) {
            c.lines.emplace_back(buffer, length);
            return static_cast<int>(length);
        }
    }
    return writeAll(STDERR_FILENO, buffer, length);
}

// Returns early when a signal interrupts the sleep, so a loop that sleeps
// between polls sees a stop request at once.
void AudioSleep(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    struct timespec request;
    request.tv_sec = milliseconds / 1000;
    request.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    (void)nanosleep(&request, nullptr);  // EINTR: return early; EINVAL cannot happen here
}

namespace audiosim {

// Captures nest: they share one store, emptied when the outermost starts.
LogCapture::LogCapture() {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (c.alive++ == 0) {
        c.lines.clear();
    }
}

LogCapture::~LogCapture() {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    if (--c.alive == 0) {
        c.lines.clear();
    }
}

std::vector<std::string> LogCapture::lines() const {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    return c.lines;
}

bool LogCapture::contains(const std::string& needle) const {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    for (const std::string& line : c.lines) {
        if (line.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void LogCapture::clear() {
    Capture& c = capture();
    std::lock_guard<std::mutex> lock(c.mutex);
    c.lines.clear();
}

}  // namespace audiosim
