// The settings objects of the simulated service. Each operation locks the
// service, records the call, honours an injected failure and then reads or
// writes Service::instance()'s state.
//
// Rules shared by all of them: a null pointer is refused with -EINVAL; a
// channel mask must name at least one of the six channels and nothing above
// them (-EINVAL otherwise); a set applies to every channel named, a get reads
// the lowest one and leaves channelMask as it was. Padding bytes of stored
// records are kept zero.
#ifndef CLIENT_SIM_SIM_SETTINGS_H
#define CLIENT_SIM_SIM_SETTINGS_H

#include "AudioAppSetting.h"
#include "AudioMixerSetting.h"
#include "AudioSourceSetting.h"
#include "AudioToolSetting.h"
#include "AudioVolumeSetting.h"

namespace audiosim {

class SimAppSetting final : public AudioAppSetting {
public:
    int setFilter(FilterParam* param) override;
    int getFilter(FilterParam* param) override;
    int setBassTreble(BassTrebleParam* param) override;
    int getBassTreble(BassTrebleParam* param) override;
    int setEqualizer(EqualizerParam* param) override;
    int getEqualizer(EqualizerParam* param) override;
    int setSpeakerDelay(uint32_t channelMask, float delay) override;
    int getSpeakerDelay(uint32_t channelMask, float* delay) override;
    int setBiquad(BiquadParam* param) override;
    int getBiquad(BiquadParam* param) override;
    int setDuplexOfAEC(int32_t value) override;
    int getDuplexOfAEC(int32_t* value) override;
    int setNRAttenuation(int32_t value) override;
    int getNRAttenuation(int32_t* value) override;
    int setNLPConfig(NLPConfigParam* param) override;  // flags bits other than 1, 2, 4 are ignored
    int getNLPConfig(NLPConfigParam* param) override;  // fills all three fields, keeps flags
    int setHandsfreeEQ(HandsfreeEQParam* param) override;  // which must be 0 or 1
    int getHandsfreeEQ(HandsfreeEQParam* param) override;
    int setLoudness(LoudnessParam* param) override;
    int getLoudness(LoudnessParam* param) override;
};

class SimSourceSetting final : public AudioSourceSetting {
public:
    int setMainAudioSpeakerTestPattern(uint32_t channels, uint32_t pattern) override;
    int setSpeakerOutPut(uint32_t outputMask) override;
    int getSpeakerOutPut(uint32_t* outputMask) override;
};

class SimMixerSetting final : public AudioMixerSetting {};

class SimVolumeSetting final : public AudioVolumeSetting {
public:
    int setMasterVolume(uint8_t volume) override;
    int getMasterVolume(uint8_t* volume) override;
    int setChannelGain(ChannelGainParam* param) override;
    int getChannelGain(ChannelGainParam* param) override;
    int setUpLinkGain(float gain) override;
    // The id is recorded but not checked.
    int setAdcPgaGain(int32_t id, float channel0, float channel1) override;
    int getAdcPgaGain(int32_t id, float* channel0, float* channel1) override;
    int setAdcOpGain(int32_t id, float channel0, float channel1) override;
    int getAdcOpGain(int32_t id, float* channel0, float* channel1) override;
    int getUpLinkGain(float* gain) override;
};

class SimToolSetting final : public AudioToolSetting {
public:
    // length 296 with extended 0, or 2560 with extended 1; the two blobs are
    // kept apart.
    int setMpBin(const uint8_t* data, uint32_t length, int32_t extended) override;
    // extended 0 or 1 picks the blob; *length on entry is not read as a limit.
    int getMpBin(uint8_t* data, int32_t* length, int32_t extended) override;
};

}  // namespace audiosim

#endif  // CLIENT_SIM_SIM_SETTINGS_H
