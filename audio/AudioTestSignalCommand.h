// "sig <0|1>": switches the main-audio speaker test pattern off (0) or on (1).
#ifndef AUDIO_AUDIO_TEST_SIGNAL_COMMAND_H
#define AUDIO_AUDIO_TEST_SIGNAL_COMMAND_H

#include "AudioCommandItem.h"

class AudioTestSignalCommand : public AudioCommandItem<AudioTestSignalCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "sig"; }
    // Any other number is a bad parameter and calls nothing.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_TEST_SIGNAL_COMMAND_H
