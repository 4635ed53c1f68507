// "hfsync": reports every hands-free setting that "hfaec" changes in one line,
//   dsp hfsync:A0101:opgain:..:pgagain:..:seq:...:req:...:duplex:..:nr:..:nlp:...:uplink:..:[ok]
// Changes nothing.
#ifndef AUDIO_AUDIO_HANDSFREE_SYNC_COMMAND_H
#define AUDIO_AUDIO_HANDSFREE_SYNC_COMMAND_H

#include <cstdint>

#include "AudioCommandItem.h"

class ReportText;

class AudioHandsfreeSyncCommand : public AudioCommandItem<AudioHandsfreeSyncCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "hfsync"; }

    // Words are ignored. Returns the report's length without its NUL; a
    // report longer than outlen - 2 characters is cut there and has no end
    // mark. Any refused read answers "[fail]" (7) alone.
    int exec_i(char** argv, int argc, char* out, int outlen);

private:
    // Reads the equalizer `which` and appends `label`, its enable flag and
    // its bands; false after the ERR line of a refused read.
    bool appendEqualizer(uint32_t which, const char* label, ReportText& text);
};

#endif  // AUDIO_AUDIO_HANDSFREE_SYNC_COMMAND_H
