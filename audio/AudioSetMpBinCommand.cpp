#include "AudioSetMpBinCommand.h"

#include <cstring>
#include <memory>
#include <new>

#include "AudioCommand.h"
#include "AudioLog.h"
#include "MpBinSize.h"
#include "MpBinText.h"
#include "NumberWords.h"

int AudioSetMpBinCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    if (argc < 2) {
        AUDIO_LOGE("bad argc number\n");
        return replyFail(out, outlen);
    }
    const int32_t size = wordToInt(argv[0]);
    if (size < 1 || size > kMpBinExtSize) {
        AUDIO_LOGE("bad data size\n");
        return replyFail(out, outlen);
    }
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[static_cast<size_t>(size)]());
    if (!data) {
        AUDIO_LOGE("malloc mem failed\n");
        return replyFail(out, outlen);
    }

    // A line ended by CR keeps it in its last word; it ends the line and is
    // no part of the last field.
    size_t length = std::strlen(argv[1]);
    if (length > 0 && argv[1][length - 1] == '\r') {
        --length;
    }
    const MpBinTextResult parsed = parseMpBinText(argv[1], length, data.get(), size);
    if (parsed.status == MpBinTextResult::kTooManyFields) {
        AUDIO_LOGE("offset error\n");
        return replyFail(out, outlen);
    }
    if (parsed.status == MpBinTextResult::kWideField) {
        AUDIO_LOGE("bad field(%d)\n", parsed.fields);
        return replyFail(out, outlen);
    }

    const int count = parsed.fields;
    if (count != size) {
        AUDIO_LOGW("send len(%d) != data len(%d)\n", static_cast<int>(size), count);
    }
    int32_t extended = 0;
    if (count == kMpBinSize) {
        extended = 0;
    } else if (count == kMpBinExtSize) {
        extended = 1;
    } else {
        AUDIO_LOGE("error data len(%d)\n", count);
        return replyFail(out, outlen);
    }
    if (mParent->toolSetting()->setMpBin(data.get(), static_cast<uint32_t>(count), extended) != 0) {
        AUDIO_LOGE("set MP.bin failed\n");
        return replyFail(out, outlen);
    }
    return replyOk(out, outlen);
}
