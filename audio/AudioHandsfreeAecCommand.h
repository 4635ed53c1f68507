// "hfaec": changes one setting of the hands-free voice path.
//   adc MicOpGain|MicPgaGain <channel 0|1> <gain>
//   nr nrAttenIdx <index>          aec pfGainLimitIdx <index>
//   uplink gain <gain>             nlp pfWeightIdx|cnEstiIdx|cnExecIdx <value>
//   seq|req en <flag>              seq|req cf|gain|q <band 0..7> <value>
// Values that travel together (an ADC gain pair, an equalizer) are read,
// changed in the one place and written back whole.
#ifndef AUDIO_AUDIO_HANDSFREE_AEC_COMMAND_H
#define AUDIO_AUDIO_HANDSFREE_AEC_COMMAND_H

#include <cstdint>

#include "AudioCommandItem.h"

class AudioHandsfreeAecCommand : public AudioCommandItem<AudioHandsfreeAecCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "hfaec"; }

    // Replies "[ok]" (5) when the setting was written, else "[fail]" (7)
    // after one ERR line; the first failed check decides. Keywords are
    // case-sensitive; number words without a number give 0.
    int exec_i(char** argv, int argc, char* out, int outlen);

private:
    // One per form; argv[0] is the form word. Each returns false after its
    // ERR line.
    bool setAdcGain(char** argv, int argc);
    bool setNoiseReduction(char** argv, int argc);
    bool setDuplex(char** argv, int argc);
    bool setUpLinkGain(char** argv, int argc);
    bool setNlp(char** argv, int argc);
    bool setEqualizer(uint32_t which, char** argv, int argc);
};

#endif  // AUDIO_AUDIO_HANDSFREE_AEC_COMMAND_H
