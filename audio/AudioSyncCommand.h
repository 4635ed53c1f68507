// "sync": reports every DSP setting of the six output channels in one line,
//   dsp sync:A0101:vol:...:delay:...:eq:...:eqbt:...:ftr:...:loud:...:bq:...:[ok]
// so that a peer can mirror the device in one exchange. Changes nothing.
#ifndef AUDIO_AUDIO_SYNC_COMMAND_H
#define AUDIO_AUDIO_SYNC_COMMAND_H

#include "AudioCommandItem.h"

class ReportText;

class AudioSyncCommand : public AudioCommandItem<AudioSyncCommand> {
public:
    using AudioCommandItem::AudioCommandItem;
    const char* name() const override { return "sync"; }

    // Words are ignored. Returns the report's length without its NUL; a
    // report longer than outlen - 2 characters is cut there and has no end
    // mark. Any refused read but a channel gain answers "[fail]" (7) alone,
    // never a partial report; an unreadable channel gain is reported as 0.
    int exec_i(char** argv, int argc, char* out, int outlen);

private:
    // Each reads its settings in the report's read order and appends them to
    // `text`; false after the ERR line of a refused read.
    bool appendVolume(ReportText& text);
    bool appendEqualizer(ReportText& text);
    bool appendBassTreble(ReportText& text);
    bool appendFilter(ReportText& text);
    bool appendDelay(ReportText& text);
    bool appendBiquad(ReportText& text);
};

#endif  // AUDIO_AUDIO_SYNC_COMMAND_H
