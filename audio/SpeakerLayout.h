// Speaker layouts: the code a peer uses ("spk" takes it, "sync" reports it)
// and the speaker output mask the audio service uses (one bit per channel).
#ifndef AUDIO_SPEAKER_LAYOUT_H
#define AUDIO_SPEAKER_LAYOUT_H

#include <cstdint>

struct SpeakerLayout {
    int32_t code;
    const char* name;  // as log messages name it
    uint32_t outputMask;
};

// Layouts by code 0, 1, 2. Channel 4 belongs to none of them.
constexpr SpeakerLayout kSpeakerLayouts[] = {
    {0, "4.0", 0x0F},
    {1, "4.1", 0x2F},
    {2, "2.0", 0x03},
};

// The layout with `code`, or nullptr.
inline const SpeakerLayout* speakerLayoutByCode(int32_t code) {
    for (const SpeakerLayout& layout : kSpeakerLayouts) {
        if (layout.code == code) {
            return &layout;
        }
    }
    return nullptr;
}

// The layout whose output mask is `mask`, or nullptr.
inline const SpeakerLayout* speakerLayoutByMask(uint32_t mask) {
    for (const SpeakerLayout& layout : kSpeakerLayouts) {
        if (layout.outputMask == mask) {
            return &layout;
        }
    }
    return nullptr;
}

#endif  // AUDIO_SPEAKER_LAYOUT_H
