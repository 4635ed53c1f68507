// "mpbin SIZE DATA": writes the MP.bin blob, given as hexadecimal text, to the
// audio service in one command.
#ifndef AUDIO_AUDIO_SET_MP_BIN_COMMAND_H
#define AUDIO_AUDIO_SET_MP_BIN_COMMAND_H

#include "AudioCommandItem.h"

class AudioSetMpBinCommand : public AudioCommandItem<AudioSetMpBinCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "mpbin"; }
    // argv[0] is the declared size, 1 to 2560; argv[1] the data word (fields
    // as MpBinText.h describes; a CR that ended the line is no part of it);
    // later words are ignored. The fields must not outnumber the declared
    // size; fewer are reported at WRN and accepted. 296 fields set the
    // standard blob, 2560 the extended one, any other count fails. A field
    // wider than two characters fails the command ("bad field(%d)", its index
    // from 0). Replies "[ok]" or "[fail]"; the data buffer is released on
    // every path.
    int exec_i(char** argv, int argc, char* out, int outlen);
};

#endif  // AUDIO_AUDIO_SET_MP_BIN_COMMAND_H
