// Common shape of the DSP items: a leaf of the "dsp" group that splits its
// argument text into words and hands them to the item's own exec_i().
//
// Derived must provide
//     int exec_i(char** argv, int argc, char* out, int outlen);
// argv[0] is the first word after the item keyword; it returns the number of
// bytes of `out` to send ("[ok]" 5, "[fail]" 7, a report without its NUL).
#ifndef AUDIO_AUDIO_COMMAND_ITEM_H
#define AUDIO_AUDIO_COMMAND_ITEM_H

#include "ArgumentWords.h"
#include "CommandItem.h"
#include "Reply.h"

class AudioCommand;

template <typename Derived>
class AudioCommandItem : public CommandItem {
public:
    // `parent` owns the item and outlives it.
    explicit AudioCommandItem(AudioCommand* parent) : mParent(parent) {}

    // The text runs up to the NUL that follows it; `len` is not needed.
    int exec(char* text, int /*len*/, char* out, int outlen) override {
        char* argv[kMaxArgumentWords];
        int argc = 0;
        if (!splitArgumentWords(text, argv, &argc)) {
            return replyFail(out, outlen);
        }
        return static_cast<Derived*>(this)->exec_i(argv, argc, out, outlen);
    }

    // Items take no sink; the group keeps it for them.
    int setNotify(NotifyFunc, void*) override { return 0; }

protected:
    AudioCommand* mParent;  // not owned
};

#endif  // AUDIO_AUDIO_COMMAND_ITEM_H
