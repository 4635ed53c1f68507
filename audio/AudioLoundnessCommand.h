// "loud <v1> <v2> <v3>": writes the loudness values (no channel).
#ifndef AUDIO_AUDIO_LOUNDNESS_COMMAND_H
#define AUDIO_AUDIO_LOUNDNESS_COMMAND_H

#include "AudioCommandItem.h"

class AudioLoundnessCommand : public AudioCommandItem<AudioLoundnessCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "loud"; }
    // Each value keeps the low 16 bits of its number.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_LOUNDNESS_COMMAND_H
