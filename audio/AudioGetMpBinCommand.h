// "getmp [ext]": reads the MP.bin blob and sends it to the peer as a frame
// (length, 32-bit big-endian, then the blob) ahead of the reply.
#ifndef AUDIO_AUDIO_GET_MP_BIN_COMMAND_H
#define AUDIO_AUDIO_GET_MP_BIN_COMMAND_H

#include "AudioCommandItem.h"

class AudioGetMpBinCommand : public AudioCommandItem<AudioGetMpBinCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "getmp"; }
    // A first word beginning with "ext" (case-sensitive, three characters
    // only) reads the extended blob, anything else or none the standard one;
    // later words are ignored. On success the frame goes through the group's
    // sink and the reply is "[ok]"; on any failure (read refused, a length
    // that does not fit the frame, no sink installed) nothing is sent but
    // "[fail]". The frame buffer is released on every path.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_GET_MP_BIN_COMMAND_H
