// "spk <code>": selects the speaker layout by its code (see SpeakerLayout.h).
#ifndef AUDIO_AUDIO_SPEAKER_CHANNEL_LAYOUT_COMMAND_H
#define AUDIO_AUDIO_SPEAKER_CHANNEL_LAYOUT_COMMAND_H

#include "AudioCommandItem.h"

class AudioSpeakerChannelLayoutCommand : public AudioCommandItem<AudioSpeakerChannelLayoutCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "spk"; }
    // A code outside the layout table is a bad parameter and calls nothing.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_SPEAKER_CHANNEL_LAYOUT_COMMAND_H
