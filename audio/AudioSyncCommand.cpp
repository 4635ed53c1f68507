#include "AudioSyncCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "AudioLog.h"
#include "NumberWords.h"
#include "ReportText.h"
#include "SpeakerLayout.h"

namespace {

// A record for a per-channel read: zeroed, addressed to `channel`.
template <typename T>
T recordFor(int channel) {
    T record;
    std::memset(&record, 0, sizeof record);
    record.channelMask = 1u << channel;
    return record;
}

// Reads the record of each channel 0 to 5 with `get` and hands it to
// `append`; false after the ERR line "<operation> failed" of a refused read.
template <typename T, typename Append>
bool readEachChannel(AudioAppSetting* app, int (AudioAppSetting::*get)(T*), const char* operation,
                     Append append) {
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        T record = recordFor<T>(channel);
        if (!succeeded((app->*get)(&record), operation)) {
            return false;
        }
        append(record);
    }
    return true;
}

}  // namespace

int AudioSyncCommand::exec_i(char** /*argv*/, int /*argc*/, char* out, int outlen) {
    ReportText volume(outlen);
    ReportText delay(outlen);
    ReportText equalizer(outlen);
    ReportText bassTreble(outlen);
    ReportText filter(outlen);
    ReportText biquad(outlen);
    if (!volume.ok() || !delay.ok() || !equalizer.ok() || !bassTreble.ok() || !filter.ok() ||
        !biquad.ok()) {
        AUDIO_LOGE("alloc data failed\n");
        return replyFail(out, outlen);
    }

    LoudnessParam loudness;
    std::memset(&loudness, 0, sizeof loudness);
    if (!appendVolume(volume) || !appendEqualizer(equalizer) || !appendBassTreble(bassTreble) ||
        !appendFilter(filter) || !appendDelay(delay) ||
        !succeeded(mParent->appSetting()->getLoudness(&loudness), "getLoudness") ||
        !appendBiquad(biquad)) {
        return replyFail(out, outlen);
    }

    return replyReport(out, outlen, "dsp sync:%s:%s:%s:%s:%s:%s:loud:%d:%d:%d:%s:%s", kReportTag,
                       volume.text(), delay.text(), equalizer.text(), bassTreble.text(),
                       filter.text(), loudness.value1, loudness.value2, loudness.value3,
                       biquad.text(), kReportEnd);
}

bool AudioSyncCommand::appendVolume(ReportText& text) {
    uint32_t outputMask = 0;
    if (!succeeded(mParent->sourceSetting()->getSpeakerOutPut(&outputMask), "getSpeakerOutPut")) {
        return false;
    }
    const SpeakerLayout* layout = speakerLayoutByMask(outputMask);
    if (layout == nullptr) {
        AUDIO_LOGW("unsupported speak output channel %x.\n", outputMask);
    }
    text.append("vol:%d", layout != nullptr ? layout->code : 0);

    AudioVolumeSetting* volumeSetting = mParent->volumeSetting();
    uint8_t master = 0;
    if (!succeeded(volumeSetting->getMasterVolume(&master), "getMasterVolume")) {
        return false;
    }
    text.append(":%d", master);

    for (int channel = 0; channel < kOutputChannels; ++channel) {
        ChannelGainParam gain = recordFor<ChannelGainParam>(channel);
        // One unreadable gain does not withhold the rest of the report.
        if (!succeeded(volumeSetting->getChannelGain(&gain), "getChannelGain")) {
            gain.gain = 0;
        }
        text.append(":%d", gain.gain);
    }
    return true;
}

bool AudioSyncCommand::appendEqualizer(ReportText& text) {
    text.append("eq");
    return readEachChannel(mParent->appSetting(), &AudioAppSetting::getEqualizer, "getEqualizer",
                           [&](const EqualizerParam& eq) {
                               text.appendValues(eq.cf);
                               text.appendValues(eq.q);
                               text.appendValues(eq.gain);
                           });
}

bool AudioSyncCommand::appendBassTreble(ReportText& text) {
    text.append("eqbt");
    return readEachChannel(mParent->appSetting(), &AudioAppSetting::getBassTreble, "getBassTreble",
                           [&](const BassTrebleParam& bt) {
                               text.appendValues(bt.cf);
                               text.appendValues(bt.gain);
                           });
}

bool AudioSyncCommand::appendFilter(ReportText& text) {
    text.append("ftr");
    return readEachChannel(mParent->appSetting(), &AudioAppSetting::getFilter, "getFilter",
                           [&](const FilterParam& f) {
                               text.append(":%d:%d:%d:%d:%d:%d", f.value1, f.value2, f.value3,
                                           f.value4, f.value5, f.value6);
                           });
}

bool AudioSyncCommand::appendDelay(ReportText& text) {
    text.append("delay");
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        float delay = 0.0f;
        if (!succeeded(mParent->appSetting()->getSpeakerDelay(1u << channel, &delay),
                       "getSpeakerDelay")) {
            return false;
        }
        text.append(":%f", delay);
    }
    return true;
}

bool AudioSyncCommand::appendBiquad(ReportText& text) {
    text.append("bq");
    // A refused biquad read has always been logged with the equalizer's
    // message; kept so.
    return readEachChannel(mParent->appSetting(), &AudioAppSetting::getBiquad, "getEqualizer",
                           [&](const BiquadParam& bq) {
                               for (const BiquadBand& b : bq.band) {
                                   text.append(":%d:%d:%f:%f:%d:%d:%d", b.type, b.cf, b.gain, b.q,
                                               b.method, b.slope, b.phase);
                               }
                           });
}
