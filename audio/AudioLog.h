// Log lines of the DSP items: module "AudioCommand", function "exec_i".
#ifndef AUDIO_AUDIO_LOG_H
#define AUDIO_AUDIO_LOG_H

#include "LogLine.h"

#define AUDIO_LOGI(...) DSP_LOG(INF, "AudioCommand", "exec_i", __VA_ARGS__)
#define AUDIO_LOGW(...) DSP_LOG(WRN, "AudioCommand", "exec_i", __VA_ARGS__)
#define AUDIO_LOGE(...) DSP_LOG(ERR, "AudioCommand", "exec_i", __VA_ARGS__)

// Logs ERR "<operation> failed" when a settings operation returned `result`
// non-zero; returns whether it succeeded.
inline bool succeeded(int result, const char* operation) {
    if (result != 0) {
        AUDIO_LOGE("%s failed\n", operation);
        return false;
    }
    return true;
}

#endif  // AUDIO_AUDIO_LOG_H
