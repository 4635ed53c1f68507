#include "AudioHandsfreeSyncCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "AudioLog.h"
#include "ReportText.h"

int AudioHandsfreeSyncCommand::exec_i(char** /*argv*/, int /*argc*/, char* out, int outlen) {
    ReportText equalizers(outlen);
    if (!equalizers.ok()) {
        AUDIO_LOGE("alloc data failed\n");
        return replyFail(out, outlen);
    }
    if (!appendEqualizer(kHandsfreeSeq, "seq", equalizers) ||
        !appendEqualizer(kHandsfreeReq, ":req", equalizers)) {
        return replyFail(out, outlen);
    }

    AudioVolumeSetting* volume = mParent->volumeSetting();
    AudioAppSetting* app = mParent->appSetting();
    float opGain[2] = {0.0f, 0.0f};
    float pgaGain[2] = {0.0f, 0.0f};
    int32_t duplex = 0;
    int32_t nrAttenuation = 0;
    NLPConfigParam nlp = {kNlpPfWeightIdx | kNlpCnEstiIdx | kNlpCnExecIdx, 0, 0, 0};
    float upLinkGain = 0.0f;
    if (!succeeded(volume->getAdcOpGain(0, &opGain[0], &opGain[1]), "getAdcOpGain") ||
        !succeeded(volume->getAdcPgaGain(0, &pgaGain[0], &pgaGain[1]), "getAdcPgaGain") ||
        !succeeded(app->getDuplexOfAEC(&duplex), "getDuplexOfAEC") ||
        !succeeded(app->getNRAttenuation(&nrAttenuation), "getNRAttenuation") ||
        !succeeded(app->getNLPConfig(&nlp), "getNLPConfig") ||
        !succeeded(volume->getUpLinkGain(&upLinkGain), "getUpLinkGain")) {
        return replyFail(out, outlen);
    }

    return replyReport(
        out, outlen,
        "dsp hfsync:%s:opgain:%f:%f:pgagain:%f:%f:%s:duplex:%d:nr:%d:nlp:%d:%d:%d:uplink:%f:%s",
        kReportTag, opGain[0], opGain[1], pgaGain[0], pgaGain[1], equalizers.text(), duplex,
        nrAttenuation, nlp.pfWeightIdx, nlp.cnEstiIdx, nlp.cnExecIdx, upLinkGain, kReportEnd);
}

bool AudioHandsfreeSyncCommand::appendEqualizer(uint32_t which, const char* label,
                                                ReportText& text) {
    HandsfreeEQParam eq;
    std::memset(&eq, 0, sizeof eq);
    eq.which = which;
    if (!succeeded(mParent->appSetting()->getHandsfreeEQ(&eq), "getHandsfreeEQ")) {
        return false;
    }
    text.append("%s:%d", label, eq.en);
    text.appendValues(eq.cf);
    text.appendValues(eq.gain);
    text.appendValues(eq.q);
    return true;
}
