// "bteq <gain|cf> <band> <value> <channel>": changes one value of a
// channel's two-band bass/treble control.
#ifndef AUDIO_AUDIO_BASS_TREBLE_COMMAND_H
#define AUDIO_AUDIO_BASS_TREBLE_COMMAND_H

#include "AudioCommandItem.h"

class AudioBassTrebleCommand : public AudioCommandItem<AudioBassTrebleCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "bteq"; }
    // Read-modify-write of the channel's record (see BandValueEdit.h): gain is
    // a float, cf keeps the low 16 bits. A refused write is logged as
    // "setEqualizer failed", as peers know it.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_BASS_TREBLE_COMMAND_H
