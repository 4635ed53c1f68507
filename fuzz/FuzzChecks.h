// What every fuzz target holds the server to, whatever the input: checks
// that abort the run (so libFuzzer and the corpus driver both report it) when
// a reply or a frame is not one the peer could have been sent.
#ifndef FUZZ_FUZZ_CHECKS_H
#define FUZZ_FUZZ_CHECKS_H

#include <cstddef>
#include <cstdint>

// Aborts with `what` on standard error unless `condition` holds.
void fuzzCheck(bool condition, const char* what);

// A command's result `count` for a reply buffer of `capacity` bytes: nothing
// (0 or less), "[ok]" or "[fail]" with their NUL, or a report line ("dsp
// sync:", "dsp hfsync:") of exactly `count` characters, NUL after it,
// within the buffer.
void checkReply(const char* reply, int count, int capacity);

// Sink for data sent besides the reply: the only such data is the MP.bin
// frame, 4 bytes of big-endian length and as many bytes of blob (296 or
// 2560). `ctx` is unused. Of the NotifyFunc form.
void checkFrame(void* ctx, unsigned char* data, unsigned int len);

// Sends standard output (the echo of every dispatched line) to /dev/null.
void silenceEcho();

#endif  // FUZZ_FUZZ_CHECKS_H
