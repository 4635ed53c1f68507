// "cvol <channel> <gain>": sets the gain of one output channel.
#ifndef AUDIO_AUDIO_CHANNEL_VOLUME_COMMAND_H
#define AUDIO_AUDIO_CHANNEL_VOLUME_COMMAND_H

#include "AudioCommandItem.h"

class AudioChannelVolumeCommand : public AudioCommandItem<AudioChannelVolumeCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "cvol"; }
    // The gain keeps the low 8 bits of its number (300 gives 44, -1 gives 255).
    // A refused write is logged as "setMasterVolume failed", as peers know it.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_CHANNEL_VOLUME_COMMAND_H
