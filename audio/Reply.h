// The replies every DSP item answers with. "[ok]" and "[fail]" are sent with
// their NUL; a report line is sent without it.
#ifndef AUDIO_REPLY_H
#define AUDIO_REPLY_H

// Writes "[ok]" and its NUL to `out`; returns 5, or 0 (nothing to send) when
// `outlen` cannot hold them.
int replyOk(char* out, int outlen);

// Writes "[fail]" and its NUL to `out`; returns 7, or 0 when `outlen` cannot
// hold them.
int replyFail(char* out, int outlen);

// The tag that leads both report lines and the mark that ends a whole one.
constexpr const char* kReportTag = "A0101";
constexpr const char* kReportEnd = "[ok]";

// Writes a report line from the start of `out` with appendFormat bounded by
// `outlen`: a line longer than outlen - 2 characters is cut there, losing its
// end mark. Returns the length of what was written without the NUL (the
// report travels without it), 0 when outlen leaves no room.
int replyReport(char* out, int outlen, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

#endif  // AUDIO_REPLY_H
