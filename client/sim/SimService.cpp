#include "SimService.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "AudioPrint.h"

namespace audiosim {

namespace {

template <typename T>
void zero(T& record) {
    std::memset(&record, 0, sizeof record);
}

// Splits a comma-separated list; blanks around names and empty entries go.
std::vector<std::string> splitList(const char* list) {
    std::vector<std::string> names;
    if (list == nullptr) {
        return names;
    }
    const std::string text(list);
    const char* blanks = " \t\r\n";
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            comma = text.size();
        }
        const std::string entry = text.substr(start, comma - start);
        const size_t first = entry.find_first_not_of(blanks);
        if (first != std::string::npos) {
            const size_t last = entry.find_last_not_of(blanks);
            names.push_back(entry.substr(first, last - first + 1));
        }
        start = comma + 1;
    }
    return names;
}

}  // namespace

// A freshly booted device: speaker output 0x0F ("4.0"), master volume 30,
// channel gains 0, delays 0.0; equalizer bands at 63..8000 Hz (octaves), gain
// 0.0, q 1; bass/treble at 100 and 10000 Hz, gain 0.0; filter values 0; biquad
// bands type 0, cf 1000, gain 0.0, q 0.707, method/slope/phase 0; loudness 0;
// duplex 0, NR 0, NLP 0/0/0 (flags 7); hands-free equalizers off, bands at
// 100..16000 Hz, gain 0.0, q 1.0; ADC op/PGA gains, uplink gain 0.0; test
// pattern 0/0; both MP.bin blobs zero. Records are zeroed first, padding
// included, so their bytes are always the same.
State State::defaults() {
    static const uint16_t kEqualizerCf[8] = {63, 125, 250, 500, 1000, 2000, 4000, 8000};
    static const int32_t kHandsfreeCf[8] = {100, 250, 500, 1000, 2000, 4000, 8000, 16000};

    State s{};
    s.speakerOutput = 0x0F;
    s.testPatternChannels = 0;
    s.testPattern = 0;
    s.masterVolume = 30;
    for (int ch = 0; ch < kChannels; ++ch) {
        const uint32_t mask = 1u << ch;
        s.channelGain[ch] = 0;
        s.speakerDelay[ch] = 0.0f;

        EqualizerParam& eq = s.equalizer[ch];
        zero(eq);
        eq.channelMask = mask;
        for (int band = 0; band < 8; ++band) {
            eq.cf[band] = kEqualizerCf[band];
            eq.gain[band] = 0.0f;
            eq.q[band] = 1;
        }

        BassTrebleParam& bt = s.bassTreble[ch];
        zero(bt);
        bt.channelMask = mask;
        bt.cf[0] = 100;
        bt.cf[1] = 10000;

        FilterParam& filter = s.filter[ch];
        zero(filter);
        filter.channelMask = mask;

        BiquadParam& bq = s.biquad[ch];
        zero(bq);
        bq.channelMask = mask;
        for (BiquadBand& band : bq.band) {
            band.cf = 1000;
            band.q = 0.707f;
        }
    }

    zero(s.loudness);
    s.duplexOfAEC = 0;
    s.nrAttenuation = 0;
    zero(s.nlp);
    s.nlp.flags = kNlpPfWeightIdx | kNlpCnEstiIdx | kNlpCnExecIdx;

    for (uint32_t which = 0; which < 2; ++which) {
        HandsfreeEQParam& hf = s.handsfreeEQ[which];
        zero(hf);
        hf.which = which;
        hf.en = 0;
        for (int band = 0; band < 8; ++band) {
            hf.cf[band] = kHandsfreeCf[band];
            hf.gain[band] = 0.0f;
            hf.q[band] = 1.0f;
        }
    }

    s.adcOpGain[0] = s.adcOpGain[1] = 0.0f;
    s.adcPgaGain[0] = s.adcPgaGain[1] = 0.0f;
    s.upLinkGain = 0.0f;
    s.mpBin.assign(kMpBinSize, 0);
    s.mpBinExt.assign(kMpBinExtSize, 0);
    return s;
}

Service& Service::instance() {
    static Service service;
    return service;
}

const std::vector<std::string>& Service::operationNames() {
    static const std::vector<std::string> names = {
        // AudioAppSetting
        "setFilter", "getFilter", "setBassTreble", "getBassTreble", "setEqualizer", "getEqualizer",
        "setSpeakerDelay", "getSpeakerDelay", "setBiquad", "getBiquad", "setDuplexOfAEC",
        "getDuplexOfAEC", "setNRAttenuation", "getNRAttenuation", "setNLPConfig", "getNLPConfig",
        "setHandsfreeEQ", "getHandsfreeEQ", "setLoudness", "getLoudness",
        // AudioSourceSetting
        "setMainAudioSpeakerTestPattern", "setSpeakerOutPut", "getSpeakerOutPut",
        // AudioVolumeSetting
        "setMasterVolume", "getMasterVolume", "setChannelGain", "getChannelGain", "setUpLinkGain",
        "setAdcPgaGain", "getAdcPgaGain", "setAdcOpGain", "getAdcOpGain", "getUpLinkGain",
        // AudioToolSetting
        "setMpBin", "getMpBin"};
    return names;
}

Service::Service() : mState(State::defaults()) {
    // Read once, at first use: a test or a run of the server picks the
    // failures before anything talks to the service.
    for (const std::string& name : splitList(std::getenv("DSPD_SIM_FAIL"))) {
        if (setFailing(name)) {
            audioPrint("<1>[%s %s %s %d] INF: ", "", "AudioSim", "Service", __LINE__,
                       "simulating failure of %s\n", name.c_str());
        } else {
            audioPrint("<2>[%s %s %s %d] WRN: ", "", "AudioSim", "Service", __LINE__,
                       "DSPD_SIM_FAIL: no operation named %s\n", name.c_str());
        }
    }
}

void Service::reset() {
    std::lock_guard<std::mutex> lock(mMutex);
    mState = State::defaults();
    mFailing.clear();
    mRecording = false;
    mCalls.clear();
}

State Service::state() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mState;
}

void Service::setState(const State& state) {
    std::lock_guard<std::mutex> lock(mMutex);
    mState = state;
    // The blobs keep their sizes whatever the caller passed.
    mState.mpBin.resize(kMpBinSize, 0);
    mState.mpBinExt.resize(kMpBinExtSize, 0);
}

bool Service::setFailing(const std::string& op, bool failing) {
    const std::vector<std::string>& names = operationNames();
    if (std::find(names.begin(), names.end(), op) == names.end()) {
        return false;
    }
    std::lock_guard<std::mutex> lock(mMutex);
    auto it = std::find(mFailing.begin(), mFailing.end(), op);
    if (failing && it == mFailing.end()) {
        mFailing.push_back(op);
    } else if (!failing && it != mFailing.end()) {
        mFailing.erase(it);
    }
    return true;
}

void Service::setFailingList(const char* list, std::vector<std::string>* unknown) {
    for (const std::string& name : splitList(list)) {
        if (!setFailing(name) && unknown != nullptr) {
            unknown->push_back(name);
        }
    }
}

bool Service::isFailing(const std::string& op) const {
    std::lock_guard<std::mutex> lock(mMutex);
    return std::find(mFailing.begin(), mFailing.end(), op) != mFailing.end();
}

void Service::recordCalls(bool on) {
    std::lock_guard<std::mutex> lock(mMutex);
    mRecording = on;
}

std::vector<Call> Service::calls() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mCalls;
}

std::vector<std::string> Service::callNames() const {
    std::lock_guard<std::mutex> lock(mMutex);
    std::vector<std::string> names;
    names.reserve(mCalls.size());
    for (const Call& call : mCalls) {
        names.push_back(call.op);
    }
    return names;
}

void Service::clearCalls() {
    std::lock_guard<std::mutex> lock(mMutex);
    mCalls.clear();
}

bool Service::failingLocked(const char* op) const {
    for (const std::string& name : mFailing) {
        if (name == op) {
            return true;
        }
    }
    return false;
}

}  // namespace audiosim
