// "vol N": sets the master volume, one byte 0 to 255.
#ifndef AUDIO_AUDIO_VOLUME_COMMAND_H
#define AUDIO_AUDIO_VOLUME_COMMAND_H

#include "AudioCommandItem.h"

class AudioVolumeCommand : public AudioCommandItem<AudioVolumeCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "vol"; }
    // One word. A number outside 0 to 255 (or no number) sets volume 0: it is
    // not clamped to the nearer end.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_VOLUME_COMMAND_H
