// Mixer settings of the audio service. The command server creates and deletes
// the object but calls none of its operations.
#ifndef CLIENT_AUDIO_MIXER_SETTING_H
#define CLIENT_AUDIO_MIXER_SETTING_H

class AudioMixerSetting {
public:
    virtual ~AudioMixerSetting() {}
};

#endif  // CLIENT_AUDIO_MIXER_SETTING_H
