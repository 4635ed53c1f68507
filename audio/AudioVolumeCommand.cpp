#include "AudioVolumeCommand.h"

#include "AudioCommand.h"
#include "ItemChecks.h"
#include "NumberWords.h"

int AudioVolumeCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (!wordCountIs(argc, 1)) {
        return replyFail(out, outlen);
    }
    const int32_t value = wordToInt(argv[0]);
    const uint8_t volume = atMost(value, 255) ? static_cast<uint8_t>(value) : 0;
    return replyToResult(mParent->volumeSetting()->setMasterVolume(volume), "setMasterVolume", out,
                         outlen);
}
