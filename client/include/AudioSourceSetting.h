// Source and routing settings of the audio service. Virtual operations in the
// library's slot order; every operation returns 0 on success.
#ifndef CLIENT_AUDIO_SOURCE_SETTING_H
#define CLIENT_AUDIO_SOURCE_SETTING_H

#include <cstdint>

class AudioSourceSetting {
public:
    virtual int setMainAudioSpeakerTestPattern(uint32_t channels, uint32_t pattern) = 0;
    virtual int setSpeakerOutPut(uint32_t outputMask) = 0;
    virtual ~AudioSourceSetting() {}
    virtual int getSpeakerOutPut(uint32_t* outputMask) = 0;
};

#endif  // CLIENT_AUDIO_SOURCE_SETTING_H
