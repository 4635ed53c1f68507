#include "AudioCreator.h"

#include <new>

#include "SimSettings.h"

// nothrow: a failed allocation becomes the nullptr the interface allows
// instead of an exception crossing into the server.
AudioAppSetting* AudioCreator::createAudioAppSetting() {
    return new (std::nothrow) audiosim::SimAppSetting;
}

AudioSourceSetting* AudioCreator::createAudioSourceSetting() {
    return new (std::nothrow) audiosim::SimSourceSetting;
}

AudioMixerSetting* AudioCreator::createAudioMixerSetting() {
    return new (std::nothrow) audiosim::SimMixerSetting;
}

AudioVolumeSetting* AudioCreator::createAudioVolumeSetting() {
    return new (std::nothrow) audiosim::SimVolumeSetting;
}

AudioToolSetting* AudioCreator::createAudioToolSetting() {
    return new (std::nothrow) audiosim::SimToolSetting;
}
