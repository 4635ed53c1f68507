// "eq <gain|cf|q> <band> <value> <channel>": changes one value of one band
// of a channel's 8-band equalizer.
#ifndef AUDIO_AUDIO_EQ_COMMAND_H
#define AUDIO_AUDIO_EQ_COMMAND_H

#include "AudioCommandItem.h"

class AudioEqCommand : public AudioCommandItem<AudioEqCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "eq"; }
    // Read-modify-write of the channel's record (see BandValueEdit.h): gain is
    // a float, cf and q keep the low 16 bits of their numbers.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_EQ_COMMAND_H
