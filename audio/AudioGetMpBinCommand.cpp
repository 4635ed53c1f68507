#include "AudioGetMpBinCommand.h"

#include <cstring>
#include <memory>
#include <new>

#include "AudioCommand.h"
#include "AudioLog.h"
#include "MpBinFrame.h"

int AudioGetMpBinCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[kMpBinFrameCapacity]());
    if (!frame) {
        AUDIO_LOGE("malloc mem failed\n");
        return replyFail(out, outlen);
    }
    const int32_t extended = argc >= 1 && std::strncmp(argv[0], "ext", 3) == 0 ? 1 : 0;
    const int frameLength = readMpBinFrame(*mParent->toolSetting(), extended, frame.get());
    if (frameLength < 0) {
        return replyFail(out, outlen);
    }
    if (!mParent->notify(frame.get(), static_cast<unsigned int>(frameLength))) {
        AUDIO_LOGE("no notify function\n");
        return replyFail(out, outlen);
    }
    return replyOk(out, outlen);
}
