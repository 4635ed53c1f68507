#include "MpBinFrame.h"

#include "AudioLog.h"

int readMpBinFrame(AudioToolSetting& tool, int32_t extended, uint8_t* frame) {
    // The service takes the standard size on entry for both blobs.
    int32_t length = kMpBinSize;
    if (tool.getMpBin(frame + kMpBinFrameHeaderSize, &length, extended) != 0) {
        AUDIO_LOGE("get MP.bin failed\n");
        return -1;
    }
    if (length < 0 || length > kMpBinExtSize) {
        AUDIO_LOGE("bad MP.bin length(%d)\n", static_cast<int>(length));
        return -1;
    }
    const uint32_t n = static_cast<uint32_t>(length);
    frame[0] = static_cast<uint8_t>(n >> 24);
    frame[1] = static_cast<uint8_t>(n >> 16);
    frame[2] = static_cast<uint8_t>(n >> 8);
    frame[3] = static_cast<uint8_t>(n);
    return length + kMpBinFrameHeaderSize;
}
