#include "AudioDelayCommand.h"

#include "AudioCommand.h"
#include "ItemChecks.h"
#include "NumberWords.h"

int AudioDelayCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    uint32_t mask = 0;
    if (!wordCountIs(argc, 2) || !channelWordToMask(argv[0], &mask)) {
        return replyFail(out, outlen);
    }
    return replyToResult(mParent->appSetting()->setSpeakerDelay(mask, wordToFloat(argv[1])),
                         "setSpeakerDelay", out, outlen);
}
