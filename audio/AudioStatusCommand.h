// "status": a liveness query that always succeeds and touches nothing.
#ifndef AUDIO_AUDIO_STATUS_COMMAND_H
#define AUDIO_AUDIO_STATUS_COMMAND_H

#include "AudioCommandItem.h"

class AudioStatusCommand : public AudioCommandItem<AudioStatusCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "status"; }
    // Any words are ignored; replies "[ok]".
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_STATUS_COMMAND_H
