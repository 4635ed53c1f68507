// Tuning-tool settings of the audio service: the MP.bin parameter blob.
// Virtual operations in the library's slot order; 0 on success.
#ifndef CLIENT_AUDIO_TOOL_SETTING_H
#define CLIENT_AUDIO_TOOL_SETTING_H

#include <cstdint>

class AudioToolSetting {
public:
    virtual ~AudioToolSetting() {}
    // Stores a whole blob: 296 bytes with extended 0, or 2560 bytes with 1.
    virtual int setMpBin(const uint8_t* data, uint32_t length, int32_t extended) = 0;
    // Reads a whole blob into data (room for 2560 bytes); *length is set to
    // its size on success.
    virtual int getMpBin(uint8_t* data, int32_t* length, int32_t extended) = 0;
};

#endif  // CLIENT_AUDIO_TOOL_SETTING_H
