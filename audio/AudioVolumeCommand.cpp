#include "AudioVolumeCommand.h"

#include "AudioCommand.h"
#include "AudioLog.h"
#include "NumberWords.h"

int AudioVolumeCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (argc != 1) {
        AUDIO_LOGE("bad argc number\n");
        return replyFail(out, outlen);
    }
    const int32_t value = wordToInt(argv[0]);
    const uint8_t volume = atMost(value, 255) ? static_cast<uint8_t>(value) : 0;
    if (mParent->volumeSetting()->setMasterVolume(volume) != 0) {
        AUDIO_LOGE("setMasterVolume failed\n");
        return replyFail(out, outlen);
    }
    return replyOk(out, outlen);
}
