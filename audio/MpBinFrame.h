// Reads the MP.bin blob from the audio service into the frame that "getmp"
// sends to the peer: 4 bytes of blob length N, big-endian, then N bytes.
#ifndef AUDIO_MP_BIN_FRAME_H
#define AUDIO_MP_BIN_FRAME_H

#include <cstdint>

#include "AudioToolSetting.h"
#include "MpBinSize.h"

// Calls tool.getMpBin with the blob area of `frame` (kMpBinFrameCapacity
// bytes, owned by the caller), a length of kMpBinSize on entry and the
// extended flag (0 or 1), then writes the returned length into the header.
// Returns the number of frame bytes to send (N + 4), or -1 after an ERR line
// when the read fails or the returned length does not fit the frame (negative
// or above kMpBinExtSize): a header never claims more bytes than follow it.
// The header is left untouched on failure.
int readMpBinFrame(AudioToolSetting& tool, int32_t extended, uint8_t* frame);

#endif  // AUDIO_MP_BIN_FRAME_H
