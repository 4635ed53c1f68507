// "bq": writes a channel's 20-band biquad bank, whole or one value at a time.
#ifndef AUDIO_AUDIO_BQ_COMMAND_H
#define AUDIO_AUDIO_BQ_COMMAND_H

#include "AudioCommandItem.h"

class AudioBqCommand : public AudioCommandItem<AudioBqCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "bq"; }
    // "channel <channel> <140 values>": all 20 bands, 7 values each in the
    // order type cf gain q method slope phase; nothing is read first.
    // "<keyword> <band> <value> <channel>": one value, by read-modify-write
    // (see BandValueEdit.h). Failed reads and writes are logged as
    // "getEqualizer failed" / "setEqualizer failed", as peers know them.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_BQ_COMMAND_H
