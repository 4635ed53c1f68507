// "delay <channel> <delay>": sets the speaker delay of one output channel.
#ifndef AUDIO_AUDIO_DELAY_COMMAND_H
#define AUDIO_AUDIO_DELAY_COMMAND_H

#include "AudioCommandItem.h"

class AudioDelayCommand : public AudioCommandItem<AudioDelayCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "delay"; }
    // The delay is a decimal number narrowed to float, passed on unchecked.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_DELAY_COMMAND_H
