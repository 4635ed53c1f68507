// Application-level DSP settings of the audio service.
//
// The virtual operations are declared in the library's slot order (the
// destructor sits in the middle); never reorder them. Every operation returns
// 0 on success; out-values are filled only on success.
#ifndef CLIENT_AUDIO_APP_SETTING_H
#define CLIENT_AUDIO_APP_SETTING_H

#include <cstdint>

#include "AudioParams.h"

class AudioAppSetting {
public:
    virtual int setFilter(FilterParam* param) = 0;
    virtual int getFilter(FilterParam* param) = 0;  // param->channelMask names the channel
    virtual int setBassTreble(BassTrebleParam* param) = 0;
    virtual int getBassTreble(BassTrebleParam* param) = 0;
    virtual int setEqualizer(EqualizerParam* param) = 0;
    virtual int getEqualizer(EqualizerParam* param) = 0;
    virtual int setSpeakerDelay(uint32_t channelMask, float delay) = 0;
    virtual int getSpeakerDelay(uint32_t channelMask, float* delay) = 0;
    virtual int setBiquad(BiquadParam* param) = 0;
    virtual int getBiquad(BiquadParam* param) = 0;
    virtual int setDuplexOfAEC(int32_t value) = 0;
    virtual int getDuplexOfAEC(int32_t* value) = 0;
    virtual int setNRAttenuation(int32_t value) = 0;
    virtual int getNRAttenuation(int32_t* value) = 0;
    virtual int setNLPConfig(NLPConfigParam* param) = 0;  // changes only the fields flags names
    virtual int getNLPConfig(NLPConfigParam* param) = 0;
    virtual int setHandsfreeEQ(HandsfreeEQParam* param) = 0;
    virtual int getHandsfreeEQ(HandsfreeEQParam* param) = 0;  // param->which names the equalizer
    virtual ~AudioAppSetting() {}
    virtual int setLoudness(LoudnessParam* param) = 0;
    virtual int getLoudness(LoudnessParam* param) = 0;
};

#endif  // CLIENT_AUDIO_APP_SETTING_H
