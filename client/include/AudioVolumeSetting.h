// Volume and gain settings of the audio service. Virtual operations in the
// library's slot order; every operation returns 0 on success.
#ifndef CLIENT_AUDIO_VOLUME_SETTING_H
#define CLIENT_AUDIO_VOLUME_SETTING_H

#include <cstdint>

#include "AudioParams.h"

class AudioVolumeSetting {
public:
    virtual int setMasterVolume(uint8_t volume) = 0;
    virtual int getMasterVolume(uint8_t* volume) = 0;
    virtual int setChannelGain(ChannelGainParam* param) = 0;
    virtual int getChannelGain(
        ChannelGainParam* param) = 0;  // param->channelMask names the channel
    virtual int setUpLinkGain(float gain) = 0;
    // The first argument of the ADC pair operations is 0 in every call.
    virtual int setAdcPgaGain(int32_t id, float channel0, float channel1) = 0;
    virtual int getAdcPgaGain(int32_t id, float* channel0, float* channel1) = 0;
    virtual int setAdcOpGain(int32_t id, float channel0, float channel1) = 0;
    virtual int getAdcOpGain(int32_t id, float* channel0, float* channel1) = 0;
    virtual int getUpLinkGain(float* gain) = 0;
    virtual ~AudioVolumeSetting() {}
};

#endif  // CLIENT_AUDIO_VOLUME_SETTING_H
