#include "AudioTestSignalCommand.h"

#include "AudioCommand.h"
#include "AudioLog.h"
#include "ItemChecks.h"
#include "NumberWords.h"

namespace {

constexpr uint32_t kAllSpeakers = 0xFFFF;
constexpr uint32_t kPatternOff = 0;
constexpr uint32_t kPatternOn = 3;

}  // namespace

int AudioTestSignalCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (!wordCountIs(argc, 1)) {
        return replyFail(out, outlen);
    }
    const int32_t value = wordToInt(argv[0]);
    if (value != 0 && value != 1) {
        AUDIO_LOGE("bad parameter\n");
        return replyFail(out, outlen);
    }
    const uint32_t pattern = value == 1 ? kPatternOn : kPatternOff;
    return replyToResult(
        mParent->sourceSetting()->setMainAudioSpeakerTestPattern(kAllSpeakers, pattern),
        "setMainAudioSpeakerTestPattern", out, outlen);
}
