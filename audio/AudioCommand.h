// The command group "dsp": owns the audio service's settings objects, holds
// the DSP items and keeps the reply sink that the serial worker hands down.
#ifndef AUDIO_AUDIO_COMMAND_H
#define AUDIO_AUDIO_COMMAND_H

#include "AudioCreator.h"
#include "CommandItem.h"
#include "SubCommandBox.h"

class AudioCommand : public SubCommandBox {
public:
    // Creates the five settings objects (a null one is kept as null) and
    // registers the items in their fixed order.
    AudioCommand();
    // Deletes the settings objects, then the items.
    ~AudioCommand() override;

    const char* name() const override { return "dsp"; }

    // Keeps the sink for the items; does not pass it on. Returns 0.
    int setNotify(NotifyFunc fn, void* ctx) override;

    AudioAppSetting* appSetting() const { return mAppSetting; }
    AudioSourceSetting* sourceSetting() const { return mSourceSetting; }
    AudioVolumeSetting* volumeSetting() const { return mVolumeSetting; }
    AudioToolSetting* toolSetting() const { return mToolSetting; }

    // Sends data besides the reply through the stored sink; it reaches the
    // peer before the reply. Returns false when no sink is installed.
    bool notify(unsigned char* data, unsigned int len) const;

private:
    AudioAppSetting* mAppSetting;
    AudioSourceSetting* mSourceSetting;
    AudioMixerSetting* mMixerSetting;
    AudioVolumeSetting* mVolumeSetting;
    AudioToolSetting* mToolSetting;
    NotifyFunc mNotify;
    void* mNotifyCtx;  // not owned
};

#endif  // AUDIO_AUDIO_COMMAND_H
