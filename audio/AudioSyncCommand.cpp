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
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        EqualizerParam eq = recordFor<EqualizerParam>(channel);
        if (!succeeded(mParent->appSetting()->getEqualizer(&eq), "getEqualizer")) {
            return false;
        }
        for (uint16_t cf : eq.cf) {
            text.append(":%d", cf);
        }
        for (uint16_t q : eq.q) {
            text.append(":%d", q);
        }
        for (float gain : eq.gain) {
            text.append(":%f", gain);
        }
    }
    return true;
}

bool AudioSyncCommand::appendBassTreble(ReportText& text) {
    text.append("eqbt");
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        BassTrebleParam bt = recordFor<BassTrebleParam>(channel);
        if (!succeeded(mParent->appSetting()->getBassTreble(&bt), "getBassTreble")) {
            return false;
        }
        text.append(":%d:%d:%f:%f", bt.cf[0], bt.cf[1], bt.gain[0], bt.gain[1]);
    }
    return true;
}

bool AudioSyncCommand::appendFilter(ReportText& text) {
    text.append("ftr");
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        FilterParam filter = recordFor<FilterParam>(channel);
        if (!succeeded(mParent->appSetting()->getFilter(&filter), "getFilter")) {
            return false;
        }
        text.append(":%d:%d:%d:%d:%d:%d", filter.value1, filter.value2, filter.value3,
                    filter.value4, filter.value5, filter.value6);
    }
    return true;
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
    for (int channel = 0; channel < kOutputChannels; ++channel) {
        BiquadParam bq = recordFor<BiquadParam>(channel);
        // A refused biquad read has always been logged with the equalizer's
        // message; kept so.
        if (mParent->appSetting()->getBiquad(&bq) != 0) {
            AUDIO_LOGE("getEqualizer failed\n");
            return false;
        }
        for (const BiquadBand& band : bq.band) {
            text.append(":%d:%d:%f:%f:%d:%d:%d", band.type, band.cf, band.gain, band.q, band.method,
                        band.slope, band.phase);
        }
    }
    return true;
}
