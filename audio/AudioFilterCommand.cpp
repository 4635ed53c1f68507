#include "AudioFilterCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "ItemChecks.h"
#include "NumberWords.h"

int AudioFilterCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    FilterParam param;
    std::memset(&param, 0, sizeof param);
    if (!wordCountIs(argc, 7) || !channelWordToMask(argv[0], &param.channelMask)) {
        return replyFail(out, outlen);
    }
    // The record's field order is not the argument order.
    param.value1 = low16(wordToInt(argv[1]));
    param.value2 = low16(wordToInt(argv[2]));
    param.value3 = low16(wordToInt(argv[3]));
    param.value4 = low16(wordToInt(argv[4]));
    param.value5 = static_cast<int16_t>(low16(wordToInt(argv[5])));
    param.value6 = low16(wordToInt(argv[6]));
    return replyToResult(mParent->appSetting()->setFilter(&param), "setFilter", out, outlen);
}
