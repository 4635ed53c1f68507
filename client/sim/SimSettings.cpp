#include "SimSettings.h"

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <initializer_list>

#include "SimService.h"

namespace audiosim {

namespace {

// What an injected failure returns; any non-zero value would do.
constexpr int kInjectedFailure = -EIO;
constexpr uint32_t kAllChannels = (1u << kChannels) - 1;

bool validMask(uint32_t mask) { return mask != 0 && (mask & ~kAllChannels) == 0; }

int lowestChannel(uint32_t mask) { return __builtin_ctz(mask); }

// The bytes of a record or blob as the caller passed them, not copied.
struct ByteView {
    const uint8_t* data = nullptr;
    size_t size = 0;
};

template <typename T>
ByteView bytesOf(const T* record) {
    if (record == nullptr) {
        return {};
    }
    return {reinterpret_cast<const uint8_t*>(record), sizeof(T)};
}

// What the record of one call is made of, held without allocating: the Call
// itself is built only while the service records, so an operation costs no
// heap allocation otherwise. Lives for the operation only.
struct CallArgs {
    static constexpr size_t kMaxValues = 2;  // the most any operation passes

    const char* op;
    int64_t ints[kMaxValues];
    size_t intCount;
    double reals[kMaxValues];
    size_t realCount;
    ByteView bytes;

    Call toCall() const {
        Call call;
        call.op = op;
        call.ints.assign(ints, ints + intCount);
        call.reals.assign(reals, reals + realCount);
        if (bytes.data != nullptr) {
            call.bytes.assign(bytes.data, bytes.data + bytes.size);
        }
        return call;
    }
};

template <typename T>
size_t copyValues(std::initializer_list<T> from, T (&to)[CallArgs::kMaxValues]) {
    size_t count = 0;
    for (const T& value : from) {
        if (count == CallArgs::kMaxValues) {
            break;
        }
        to[count++] = value;
    }
    return count;
}

CallArgs makeCall(const char* op, std::initializer_list<int64_t> ints = {},
                  std::initializer_list<double> reals = {}, ByteView bytes = {}) {
    CallArgs args{};
    args.op = op;
    args.intCount = copyValues(ints, args.ints);
    args.realCount = copyValues(reals, args.reals);
    args.bytes = bytes;
    return args;
}

// Runs one operation under the service lock: the call is recorded and an
// injected failure returned before `body` sees the state.
template <typename Body>
int operate(const CallArgs& args, Body body) {
    Service& service = Service::instance();
    std::lock_guard<std::mutex> lock(service.mutex());
    if (service.enter(args.op, [&] { return args.toCall(); })) {
        return kInjectedFailure;
    }
    return body(service.lockedState());
}

void zeroBytes(void* record, size_t from, size_t to) {
    std::memset(static_cast<uint8_t*>(record) + from, 0, to - from);
}

// Stored records keep zero padding, whatever the caller's bytes held there,
// so a get returns the same bytes as the defaults would.
template <typename T>
void clearPadding(T&) {}

template <>
void clearPadding(BiquadParam& record) {
    for (BiquadBand& band : record.band) {
        zeroBytes(&band, offsetof(BiquadBand, cf) + sizeof band.cf, offsetof(BiquadBand, gain));
    }
}

template <>
void clearPadding(HandsfreeEQParam& record) {
    zeroBytes(&record, offsetof(HandsfreeEQParam, en) + sizeof record.en,
              offsetof(HandsfreeEQParam, cf));
}

template <typename T>
T cleanCopy(const T& from) {
    T to;
    std::memcpy(&to, &from, sizeof to);
    clearPadding(to);
    return to;
}

template <typename T, size_t N>
int setPerChannel(const char* op, const T* param, T (State::*records)[N]) {
    return operate(makeCall(op, {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || !validMask(param->channelMask)) {
            return -EINVAL;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            if (param->channelMask & (1u << ch)) {
                T record = cleanCopy(*param);
                record.channelMask = 1u << ch;
                std::memcpy(&(state.*records)[ch], &record, sizeof record);
            }
        }
        return 0;
    });
}

template <typename T, size_t N>
int getPerChannel(const char* op, T* param, T (State::*records)[N]) {
    return operate(makeCall(op, {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || !validMask(param->channelMask)) {
            return -EINVAL;
        }
        const uint32_t mask = param->channelMask;  // the caller keeps its own mask
        std::memcpy(param, &(state.*records)[lowestChannel(mask)], sizeof *param);
        param->channelMask = mask;
        return 0;
    });
}

template <typename T>
int setScalar(const char* op, T value, T State::*field) {
    return operate(makeCall(op, {static_cast<int64_t>(value)}), [&](State& state) {
        state.*field = value;
        return 0;
    });
}

template <typename T>
int getScalar(const char* op, T* value, T State::*field) {
    return operate(makeCall(op), [&](State& state) {
        if (value == nullptr) {
            return -EINVAL;
        }
        *value = state.*field;
        return 0;
    });
}

int setAdcPair(const char* op, int32_t id, float channel0, float channel1,
               float (State::*pair)[2]) {
    return operate(makeCall(op, {id}, {channel0, channel1}), [&](State& state) {
        (state.*pair)[0] = channel0;
        (state.*pair)[1] = channel1;
        return 0;
    });
}

int getAdcPair(const char* op, int32_t id, float* channel0, float* channel1,
               float (State::*pair)[2]) {
    return operate(makeCall(op, {id}), [&](State& state) {
        if (channel0 == nullptr || channel1 == nullptr) {
            return -EINVAL;
        }
        *channel0 = (state.*pair)[0];
        *channel1 = (state.*pair)[1];
        return 0;
    });
}

}  // namespace

// --- AudioAppSetting ---

int SimAppSetting::setFilter(FilterParam* param) {
    return setPerChannel("setFilter", param, &State::filter);
}

int SimAppSetting::getFilter(FilterParam* param) {
    return getPerChannel("getFilter", param, &State::filter);
}

int SimAppSetting::setBassTreble(BassTrebleParam* param) {
    return setPerChannel("setBassTreble", param, &State::bassTreble);
}

int SimAppSetting::getBassTreble(BassTrebleParam* param) {
    return getPerChannel("getBassTreble", param, &State::bassTreble);
}

int SimAppSetting::setEqualizer(EqualizerParam* param) {
    return setPerChannel("setEqualizer", param, &State::equalizer);
}

int SimAppSetting::getEqualizer(EqualizerParam* param) {
    return getPerChannel("getEqualizer", param, &State::equalizer);
}

int SimAppSetting::setSpeakerDelay(uint32_t channelMask, float delay) {
    return operate(makeCall("setSpeakerDelay", {channelMask}, {delay}), [&](State& state) {
        if (!validMask(channelMask)) {
            return -EINVAL;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            if (channelMask & (1u << ch)) {
                state.speakerDelay[ch] = delay;
            }
        }
        return 0;
    });
}

int SimAppSetting::getSpeakerDelay(uint32_t channelMask, float* delay) {
    return operate(makeCall("getSpeakerDelay", {channelMask}), [&](State& state) {
        if (delay == nullptr || !validMask(channelMask)) {
            return -EINVAL;
        }
        *delay = state.speakerDelay[lowestChannel(channelMask)];
        return 0;
    });
}

int SimAppSetting::setBiquad(BiquadParam* param) {
    return setPerChannel("setBiquad", param, &State::biquad);
}

int SimAppSetting::getBiquad(BiquadParam* param) {
    return getPerChannel("getBiquad", param, &State::biquad);
}

int SimAppSetting::setDuplexOfAEC(int32_t value) {
    return setScalar("setDuplexOfAEC", value, &State::duplexOfAEC);
}

int SimAppSetting::getDuplexOfAEC(int32_t* value) {
    return getScalar("getDuplexOfAEC", value, &State::duplexOfAEC);
}

int SimAppSetting::setNRAttenuation(int32_t value) {
    return setScalar("setNRAttenuation", value, &State::nrAttenuation);
}

int SimAppSetting::getNRAttenuation(int32_t* value) {
    return getScalar("getNRAttenuation", value, &State::nrAttenuation);
}

int SimAppSetting::setNLPConfig(NLPConfigParam* param) {
    return operate(makeCall("setNLPConfig", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr) {
            return -EINVAL;
        }
        if (param->flags & kNlpPfWeightIdx) {
            state.nlp.pfWeightIdx = param->pfWeightIdx;
        }
        if (param->flags & kNlpCnEstiIdx) {
            state.nlp.cnEstiIdx = param->cnEstiIdx;
        }
        if (param->flags & kNlpCnExecIdx) {
            state.nlp.cnExecIdx = param->cnExecIdx;
        }
        return 0;
    });
}

int SimAppSetting::getNLPConfig(NLPConfigParam* param) {
    return operate(makeCall("getNLPConfig", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr) {
            return -EINVAL;
        }
        param->pfWeightIdx = state.nlp.pfWeightIdx;
        param->cnEstiIdx = state.nlp.cnEstiIdx;
        param->cnExecIdx = state.nlp.cnExecIdx;
        return 0;
    });
}

int SimAppSetting::setHandsfreeEQ(HandsfreeEQParam* param) {
    return operate(makeCall("setHandsfreeEQ", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || param->which > 1) {
            return -EINVAL;
        }
        HandsfreeEQParam record = cleanCopy(*param);
        std::memcpy(&state.handsfreeEQ[param->which], &record, sizeof record);
        return 0;
    });
}

int SimAppSetting::getHandsfreeEQ(HandsfreeEQParam* param) {
    return operate(makeCall("getHandsfreeEQ", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || param->which > 1) {
            return -EINVAL;
        }
        std::memcpy(param, &state.handsfreeEQ[param->which], sizeof *param);
        return 0;
    });
}

int SimAppSetting::setLoudness(LoudnessParam* param) {
    return operate(makeCall("setLoudness", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr) {
            return -EINVAL;
        }
        std::memcpy(&state.loudness, param, sizeof state.loudness);
        return 0;
    });
}

int SimAppSetting::getLoudness(LoudnessParam* param) {
    return operate(makeCall("getLoudness", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr) {
            return -EINVAL;
        }
        std::memcpy(param, &state.loudness, sizeof *param);
        return 0;
    });
}

// --- AudioSourceSetting ---

int SimSourceSetting::setMainAudioSpeakerTestPattern(uint32_t channels, uint32_t pattern) {
    return operate(makeCall("setMainAudioSpeakerTestPattern", {channels, pattern}),
                   [&](State& state) {
                       state.testPatternChannels = channels;
                       state.testPattern = pattern;
                       return 0;
                   });
}

int SimSourceSetting::setSpeakerOutPut(uint32_t outputMask) {
    return setScalar("setSpeakerOutPut", outputMask, &State::speakerOutput);
}

int SimSourceSetting::getSpeakerOutPut(uint32_t* outputMask) {
    return getScalar("getSpeakerOutPut", outputMask, &State::speakerOutput);
}

// --- AudioVolumeSetting ---

int SimVolumeSetting::setMasterVolume(uint8_t volume) {
    return setScalar("setMasterVolume", volume, &State::masterVolume);
}

int SimVolumeSetting::getMasterVolume(uint8_t* volume) {
    return getScalar("getMasterVolume", volume, &State::masterVolume);
}

int SimVolumeSetting::setChannelGain(ChannelGainParam* param) {
    return operate(makeCall("setChannelGain", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || !validMask(param->channelMask)) {
            return -EINVAL;
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            if (param->channelMask & (1u << ch)) {
                state.channelGain[ch] = param->gain;
            }
        }
        return 0;
    });
}

int SimVolumeSetting::getChannelGain(ChannelGainParam* param) {
    return operate(makeCall("getChannelGain", {}, {}, bytesOf(param)), [&](State& state) {
        if (param == nullptr || !validMask(param->channelMask)) {
            return -EINVAL;
        }
        param->gain = state.channelGain[lowestChannel(param->channelMask)];
        return 0;
    });
}

int SimVolumeSetting::setUpLinkGain(float gain) {
    return operate(makeCall("setUpLinkGain", {}, {gain}), [&](State& state) {
        state.upLinkGain = gain;
        return 0;
    });
}

int SimVolumeSetting::setAdcPgaGain(int32_t id, float channel0, float channel1) {
    return setAdcPair("setAdcPgaGain", id, channel0, channel1, &State::adcPgaGain);
}

int SimVolumeSetting::getAdcPgaGain(int32_t id, float* channel0, float* channel1) {
    return getAdcPair("getAdcPgaGain", id, channel0, channel1, &State::adcPgaGain);
}

int SimVolumeSetting::setAdcOpGain(int32_t id, float channel0, float channel1) {
    return setAdcPair("setAdcOpGain", id, channel0, channel1, &State::adcOpGain);
}

int SimVolumeSetting::getAdcOpGain(int32_t id, float* channel0, float* channel1) {
    return getAdcPair("getAdcOpGain", id, channel0, channel1, &State::adcOpGain);
}

int SimVolumeSetting::getUpLinkGain(float* gain) {
    return getScalar("getUpLinkGain", gain, &State::upLinkGain);
}

// --- AudioToolSetting ---

int SimToolSetting::setMpBin(const uint8_t* data, uint32_t length, int32_t extended) {
    // Record what the caller passed, but never read past the larger blob's
    // size on the word of a bad length.
    ByteView bytes;
    if (data != nullptr) {
        bytes = {data, length < kMpBinExtSize ? length : kMpBinExtSize};
    }
    return operate(makeCall("setMpBin", {length, extended}, {}, bytes), [&](State& state) {
        if (data == nullptr) {
            return -EINVAL;
        }
        if (extended == 0 && length == kMpBinSize) {
            state.mpBin.assign(data, data + length);
        } else if (extended == 1 && length == kMpBinExtSize) {
            state.mpBinExt.assign(data, data + length);
        } else {
            return -EINVAL;
        }
        return 0;
    });
}

int SimToolSetting::getMpBin(uint8_t* data, int32_t* length, int32_t extended) {
    const int64_t lengthOnEntry = length != nullptr ? *length : 0;
    return operate(makeCall("getMpBin", {lengthOnEntry, extended}), [&](State& state) {
        if (data == nullptr || length == nullptr || (extended != 0 && extended != 1)) {
            return -EINVAL;
        }
        const std::vector<uint8_t>& blob = extended == 1 ? state.mpBinExt : state.mpBin;
        std::memcpy(data, blob.data(), blob.size());
        *length = static_cast<int32_t>(blob.size());
        return 0;
    });
}

}  // namespace audiosim
