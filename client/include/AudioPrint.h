// Logging and sleeping functions of the audio service client library.
#ifndef CLIENT_AUDIO_PRINT_H
#define CLIENT_AUDIO_PRINT_H

// Emits one log line. `prefix` is a printf format whose four conversions take
// tag, file, func and line, in that order; `format` and its arguments are the
// message. A line is written whole, so lines of two threads never interleave.
// The result carries no meaning for callers.
int audioPrint(const char* prefix, const char* tag, const char* file, const char* func, int line,
               const char* format, ...) __attribute__((format(printf, 6, 7)));

// Sleeps for the given number of milliseconds.
void AudioSleep(int milliseconds);

#endif  // CLIENT_AUDIO_PRINT_H
