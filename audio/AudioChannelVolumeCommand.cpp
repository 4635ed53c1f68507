#include "AudioChannelVolumeCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "ItemChecks.h"
#include "NumberWords.h"

int AudioChannelVolumeCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    uint32_t mask = 0;
    if (!wordCountIs(argc, 2) || !channelWordToMask(argv[0], &mask)) {
        return replyFail(out, outlen);
    }
    ChannelGainParam param;
    std::memset(&param, 0, sizeof param);  // padding included
    param.channelMask = mask;
    param.gain = low8(wordToInt(argv[1]));
    return replyToResult(mParent->volumeSetting()->setChannelGain(&param), "setMasterVolume", out,
                         outlen);
}
