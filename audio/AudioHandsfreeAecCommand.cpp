#include "AudioHandsfreeAecCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "AudioLog.h"
#include "ItemChecks.h"
#include "NumberWords.h"

namespace {

constexpr uint32_t kEqualizerBands = 8;

bool is(const char* word, const char* keyword) { return std::strcmp(word, keyword) == 0; }

// The forms' own keyword check; argv[0] is the form word, so "bad nr %s
// param" and its kin come out of one format.
bool keywordIs(char** argv, const char* keyword) {
    if (!is(argv[1], keyword)) {
        AUDIO_LOGE("bad %s %s param\n", argv[0], argv[1]);
        return false;
    }
    return true;
}

struct AdcGainPair {
    const char* keyword;
    int (AudioVolumeSetting::*get)(int32_t, float*, float*);
    int (AudioVolumeSetting::*set)(int32_t, float, float);
    const char* getName;
    const char* setName;
};

const AdcGainPair kAdcGainPairs[] = {
    {"MicOpGain", &AudioVolumeSetting::getAdcOpGain, &AudioVolumeSetting::setAdcOpGain,
     "getAdcOpGain", "setAdcOpGain"},
    {"MicPgaGain", &AudioVolumeSetting::getAdcPgaGain, &AudioVolumeSetting::setAdcPgaGain,
     "getAdcPgaGain", "setAdcPgaGain"},
};

// Changes the one field of `eq` that argv names; false after its ERR line.
bool changeEqualizer(HandsfreeEQParam* eq, char** argv, int argc) {
    if (is(argv[1], "en")) {
        if (!wordCountIs(argc, 3)) {
            return false;
        }
        eq->en = wordToInt(argv[2]) != 0 ? 1 : 0;
        return true;
    }
    if (!wordCountIs(argc, 4)) {
        return false;
    }
    uint32_t band = 0;
    // The record holds eight bands; any other index would write past them.
    if (!bandWordToIndex(argv[2], kEqualizerBands, &band)) {
        return false;
    }
    if (is(argv[1], "cf")) {
        eq->cf[band] = wordToInt(argv[3]);
    } else if (is(argv[1], "gain")) {
        eq->gain[band] = wordToFloat(argv[3]);
    } else if (is(argv[1], "q")) {
        eq->q[band] = wordToFloat(argv[3]);
    } else {
        // One message for both equalizers.
        AUDIO_LOGE("bad seq %s param\n", argv[1]);
        return false;
    }
    return true;
}

}  // namespace

int AudioHandsfreeAecCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (argc < 3) {
        AUDIO_LOGE("bad argc number\n");
        return replyFail(out, outlen);
    }
    const char* form = argv[0];
    bool done = false;
    if (is(form, "adc")) {
        done = setAdcGain(argv, argc);
    } else if (is(form, "nr")) {
        done = setNoiseReduction(argv, argc);
    } else if (is(form, "aec")) {
        done = setDuplex(argv, argc);
    } else if (is(form, "uplink")) {
        done = setUpLinkGain(argv, argc);
    } else if (is(form, "nlp")) {
        done = setNlp(argv, argc);
    } else if (is(form, "seq")) {
        done = setEqualizer(kHandsfreeSeq, argv, argc);
    } else if (is(form, "req")) {
        done = setEqualizer(kHandsfreeReq, argv, argc);
    } else {
        AUDIO_LOGE("bad hfaec %s param\n", form);
    }
    return done ? replyOk(out, outlen) : replyFail(out, outlen);
}

bool AudioHandsfreeAecCommand::setAdcGain(char** argv, int argc) {
    const int32_t channel = wordToInt(argv[2]);
    if (!wordCountIs(argc, 4)) {
        return false;
    }
    const AdcGainPair* pair = nullptr;
    for (const AdcGainPair& candidate : kAdcGainPairs) {
        if (is(argv[1], candidate.keyword)) {
            pair = &candidate;
        }
    }
    if (pair == nullptr) {
        AUDIO_LOGE("bad adc %s param\n", argv[1]);
        return false;
    }
    AudioVolumeSetting* volume = mParent->volumeSetting();
    float gain[2] = {0.0f, 0.0f};
    if (!succeeded((volume->*pair->get)(0, &gain[0], &gain[1]), pair->getName)) {
        return false;
    }
    if (!atMost(channel, 1)) {
        AUDIO_LOGE("channel(%d) is not supported.\n", channel);
        return false;
    }
    gain[channel] = wordToFloat(argv[3]);
    return succeeded((volume->*pair->set)(0, gain[0], gain[1]), pair->setName);
}

bool AudioHandsfreeAecCommand::setNoiseReduction(char** argv, int argc) {
    return wordCountIs(argc, 3) && keywordIs(argv, "nrAttenIdx") &&
           succeeded(mParent->appSetting()->setNRAttenuation(wordToInt(argv[2])),
                     "setNRAttenuation");
}

bool AudioHandsfreeAecCommand::setDuplex(char** argv, int argc) {
    return wordCountIs(argc, 3) && keywordIs(argv, "pfGainLimitIdx") &&
           succeeded(mParent->appSetting()->setDuplexOfAEC(wordToInt(argv[2])), "setDuplexOfAEC");
}

bool AudioHandsfreeAecCommand::setUpLinkGain(char** argv, int argc) {
    return wordCountIs(argc, 3) && keywordIs(argv, "gain") &&
           succeeded(mParent->volumeSetting()->setUpLinkGain(wordToFloat(argv[2])),
                     "setUpLinkGain");
}

bool AudioHandsfreeAecCommand::setNlp(char** argv, int argc) {
    if (!wordCountIs(argc, 3)) {
        return false;
    }
    // Only the field the flag names carries a value; the others stay 0.
    NLPConfigParam nlp = {0, 0, 0, 0};
    const int32_t value = wordToInt(argv[2]);
    if (is(argv[1], "pfWeightIdx")) {
        nlp.flags = kNlpPfWeightIdx;
        nlp.pfWeightIdx = value;
    } else if (is(argv[1], "cnEstiIdx")) {
        nlp.flags = kNlpCnEstiIdx;
        nlp.cnEstiIdx = value;
    } else if (is(argv[1], "cnExecIdx")) {
        nlp.flags = kNlpCnExecIdx;
        nlp.cnExecIdx = value;
    } else {
        AUDIO_LOGE("bad nlp %s param\n", argv[1]);
        return false;
    }
    return succeeded(mParent->appSetting()->setNLPConfig(&nlp), "setNLPConfig");
}

bool AudioHandsfreeAecCommand::setEqualizer(uint32_t which, char** argv, int argc) {
    HandsfreeEQParam eq;
    std::memset(&eq, 0, sizeof eq);
    eq.which = which;
    AudioAppSetting* app = mParent->appSetting();
    // The read comes before any check of the remaining words.
    return succeeded(app->getHandsfreeEQ(&eq), "getHandsfreeEQ") &&
           changeEqualizer(&eq, argv, argc) &&
           succeeded(app->setHandsfreeEQ(&eq), "setHandsfreeEQ");
}
