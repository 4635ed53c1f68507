#include "ItemChecks.h"

#include "AudioLog.h"
#include "NumberWords.h"
#include "Reply.h"

bool wordCountIs(int argc, int expected) {
    if (argc != expected) {
        AUDIO_LOGE("bad argc number\n");
        return false;
    }
    return true;
}

bool channelWordToMask(const char* word, uint32_t* mask) {
    if (!wordToChannelMask(word, mask)) {
        AUDIO_LOGE("bad argc number\n");
        return false;
    }
    return true;
}

bool bandWordToIndex(const char* word, uint32_t bands, uint32_t* band) {
    const int32_t value = wordToInt(word);
    if (bands == 0 || !atMost(value, bands - 1)) {
        AUDIO_LOGE("not support band(%d)\n", value);
        return false;
    }
    *band = static_cast<uint32_t>(value);
    return true;
}

int replyToResult(int result, const char* operation, char* out, int outlen) {
    return succeeded(result, operation) ? replyOk(out, outlen) : replyFail(out, outlen);
}
