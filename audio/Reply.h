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

#endif  // AUDIO_REPLY_H
