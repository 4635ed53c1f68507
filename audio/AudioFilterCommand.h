// "ftr <channel> <v1> ... <v6>": replaces the six filter values of a channel.
#ifndef AUDIO_AUDIO_FILTER_COMMAND_H
#define AUDIO_AUDIO_FILTER_COMMAND_H

#include "AudioCommandItem.h"

class AudioFilterCommand : public AudioCommandItem<AudioFilterCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "ftr"; }
    // Each value keeps the low 16 bits of its number; the record stores them
    // out of argument order (see FilterParam).
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_FILTER_COMMAND_H
