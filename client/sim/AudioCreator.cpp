#include "AudioCreator.h"

#include <new>

#include "SimService.h"
#include "SimSettings.h"

namespace {

// Connecting to the service is where a device library would fail; here it is
// where DSPD_SIM_FAIL is read and reported, at start-up rather than at the
// first command.
template <typename T>
T* connect() {
    audiosim::Service::instance();
    return new (std::nothrow) T;
}

}  // namespace

// nothrow: a failed allocation becomes the nullptr the interface allows
// instead of an exception crossing into the server.
AudioAppSetting* AudioCreator::createAudioAppSetting() {
    return connect<audiosim::SimAppSetting>();
}

AudioSourceSetting* AudioCreator::createAudioSourceSetting() {
    return connect<audiosim::SimSourceSetting>();
}

AudioMixerSetting* AudioCreator::createAudioMixerSetting() {
    return connect<audiosim::SimMixerSetting>();
}

AudioVolumeSetting* AudioCreator::createAudioVolumeSetting() {
    return connect<audiosim::SimVolumeSetting>();
}

AudioToolSetting* AudioCreator::createAudioToolSetting() {
    return connect<audiosim::SimToolSetting>();
}
