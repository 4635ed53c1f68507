#include "AudioSpeakerChannelLayoutCommand.h"

#include "AudioCommand.h"
#include "AudioLog.h"
#include "ItemChecks.h"
#include "NumberWords.h"
#include "SpeakerLayout.h"

int AudioSpeakerChannelLayoutCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (!wordCountIs(argc, 1)) {
        return replyFail(out, outlen);
    }
    const SpeakerLayout* layout = speakerLayoutByCode(wordToInt(argv[0]));
    if (layout == nullptr) {
        AUDIO_LOGE("bad parameter\n");
        return replyFail(out, outlen);
    }
    if (mParent->sourceSetting()->setSpeakerOutPut(layout->outputMask) != 0) {
        AUDIO_LOGE("setSpeakerOutPut %s failed\n", layout->name);
        return replyFail(out, outlen);
    }
    return replyOk(out, outlen);
}
