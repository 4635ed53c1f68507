#include "AudioCommand.h"

#include "AudioBassTrebleCommand.h"
#include "AudioBqCommand.h"
#include "AudioChannelVolumeCommand.h"
#include "AudioDelayCommand.h"
#include "AudioEqCommand.h"
#include "AudioFilterCommand.h"
#include "AudioGetMpBinCommand.h"
#include "AudioHandsfreeAecCommand.h"
#include "AudioHandsfreeSyncCommand.h"
#include "AudioLoundnessCommand.h"
#include "AudioSetMpBinCommand.h"
#include "AudioSpeakerChannelLayoutCommand.h"
#include "AudioStatusCommand.h"
#include "AudioSyncCommand.h"
#include "AudioTestSignalCommand.h"
#include "AudioVolumeCommand.h"

AudioCommand::AudioCommand()
    : mAppSetting(AudioCreator::createAudioAppSetting()),
      mSourceSetting(AudioCreator::createAudioSourceSetting()),
      mMixerSetting(AudioCreator::createAudioMixerSetting()),
      mVolumeSetting(AudioCreator::createAudioVolumeSetting()),
      mToolSetting(AudioCreator::createAudioToolSetting()),
      mNotify(nullptr),
      mNotifyCtx(nullptr) {
    // The order of this list is the order of lookup and of destruction.
    add(new AudioStatusCommand(this));
    add(new AudioSyncCommand(this));
    add(new AudioVolumeCommand(this));
    add(new AudioChannelVolumeCommand(this));
    add(new AudioDelayCommand(this));
    add(new AudioEqCommand(this));
    add(new AudioBqCommand(this));
    add(new AudioFilterCommand(this));
    add(new AudioLoundnessCommand(this));
    add(new AudioTestSignalCommand(this));
    add(new AudioSpeakerChannelLayoutCommand(this));
    add(new AudioBassTrebleCommand(this));
    add(new AudioHandsfreeAecCommand(this));
    add(new AudioHandsfreeSyncCommand(this));
    add(new AudioSetMpBinCommand(this));
    add(new AudioGetMpBinCommand(this));
}

AudioCommand::~AudioCommand() {
    delete mAppSetting;
    delete mSourceSetting;
    delete mMixerSetting;
    delete mVolumeSetting;
    delete mToolSetting;
}

int AudioCommand::setNotify(NotifyFunc fn, void* ctx) {
    mNotify = fn;
    mNotifyCtx = ctx;
    return 0;
}

bool AudioCommand::notify(unsigned char* data, unsigned int len) const {
    if (mNotify == nullptr) {
        return false;
    }
    mNotify(mNotifyCtx, data, len);
    return true;
}
