// The two sizes of the MP.bin parameter blob and of the frame that carries it
// to the peer.
#ifndef AUDIO_MP_BIN_SIZE_H
#define AUDIO_MP_BIN_SIZE_H

// Standard blob, extended flag 0.
constexpr int kMpBinSize = 296;
// Extended blob, extended flag 1; also the largest blob there is.
constexpr int kMpBinExtSize = 2560;
// The frame: the blob length, 32-bit big-endian, then the blob.
constexpr int kMpBinFrameHeaderSize = 4;
constexpr int kMpBinFrameCapacity = kMpBinFrameHeaderSize + kMpBinExtSize;

#endif  // AUDIO_MP_BIN_SIZE_H
