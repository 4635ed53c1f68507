#include "AudioLoundnessCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "ItemChecks.h"
#include "NumberWords.h"

int AudioLoundnessCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (!wordCountIs(argc, 3)) {
        return replyFail(out, outlen);
    }
    LoudnessParam param;
    std::memset(&param, 0, sizeof param);
    param.value1 = low16(wordToInt(argv[0]));
    param.value2 = low16(wordToInt(argv[1]));
    param.value3 = low16(wordToInt(argv[2]));
    return replyToResult(mParent->appSetting()->setLoudness(&param), "setLoudness", out, outlen);
}
