// Factory of the audio service's settings objects. Each call returns a new
// object that the caller owns and deletes; nullptr when none can be made.
// All objects of one process address the same audio service.
#ifndef CLIENT_AUDIO_CREATOR_H
#define CLIENT_AUDIO_CREATOR_H

#include "AudioAppSetting.h"
#include "AudioMixerSetting.h"
#include "AudioSourceSetting.h"
#include "AudioToolSetting.h"
#include "AudioVolumeSetting.h"

class AudioCreator {
public:
    static AudioAppSetting* createAudioAppSetting();
    static AudioSourceSetting* createAudioSourceSetting();
    static AudioMixerSetting* createAudioMixerSetting();
    static AudioVolumeSetting* createAudioVolumeSetting();
    static AudioToolSetting* createAudioToolSetting();
};

#endif  // CLIENT_AUDIO_CREATOR_H
