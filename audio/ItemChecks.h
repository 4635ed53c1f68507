// Steps that most DSP items share: the word count, the channel index word and
// the answer to a settings call. Each logs its ERR line itself, so an item
// only has to reply "[fail]" when a step says no. None keeps state.
#ifndef AUDIO_ITEM_CHECKS_H
#define AUDIO_ITEM_CHECKS_H

#include <cstdint>

// True when `argc` is `expected`; otherwise logs "bad argc number\n".
bool wordCountIs(int argc, int expected);

// Converts a channel index word 0 to 5 into its channel mask. Any other index
// (negative ones included) logs "bad argc number\n", the message peers know
// for it, and returns false; *mask is then left alone.
bool channelWordToMask(const char* word, uint32_t* mask);

// Converts a band word and checks it against `bands` bands (0 to bands - 1,
// negative ones out of range). Out of range logs "not support band(%d)\n"
// with the band as converted and returns false; *band is then left alone.
bool bandWordToIndex(const char* word, uint32_t bands, uint32_t* band);

// The reply to a settings call's `result`: "[ok]" for 0; otherwise logs
// "<operation> failed" and replies "[fail]".
// Returns the reply's byte count as replyOk()/replyFail() do.
int replyToResult(int result, const char* operation, char* out, int outlen);

#endif  // AUDIO_ITEM_CHECKS_H
