// Changing one value of a per-channel record by keyword: the shape shared by
// "eq", "bq" (one field) and "bteq".
//
//     <keyword> <band> <value> <channel index>
//
// The record of the channel is read, the one value replaced and the whole
// record written back, so every other value goes back as it was read. The
// checks run in the order word count, channel, band, read, keyword, write;
// the first failure logs its ERR line, replies "[fail]" and ends the command.
// Nothing is written to the service before the final write.
//
// An edit holds only constant tables: it can be shared, and exec() runs on
// whichever thread calls it (the serial worker's, for the items).
#ifndef AUDIO_BAND_VALUE_EDIT_H
#define AUDIO_BAND_VALUE_EDIT_H

#include <cstdint>
#include <cstring>

#include "AudioAppSetting.h"
#include "AudioLog.h"
#include "ItemChecks.h"
#include "Reply.h"

template <typename Record>
struct BandField {
    const char* keyword;  // compared whole and case-sensitively
    // Converts `word` into this field of band `band` (already range-checked).
    void (*store)(Record& record, uint32_t band, const char* word);
};

template <typename Record>
class BandValueEdit {
public:
    using Access = int (AudioAppSetting::*)(Record*);

    // `fields` have distinct keywords; they and the messages must outlive the
    // object (static tables in practice). `readOp` and `writeOp` name the
    // operations in their ERR messages ("<op> failed").
    template <int N>
    constexpr BandValueEdit(uint32_t bands, Access read, const char* readOp, Access write,
                            const char* writeOp, const BandField<Record> (&fields)[N])
        : mBands(bands),
          mRead(read),
          mReadOp(readOp),
          mWrite(write),
          mWriteOp(writeOp),
          mFields(fields),
          mFieldCount(N) {}

    // Runs the command on `settings` (not owned, must not be null) and returns
    // the reply's byte count.
    int exec(AudioAppSetting* settings, char** argv, int argc, char* out, int outlen) const {
        uint32_t mask = 0;
        uint32_t band = 0;
        if (!wordCountIs(argc, 4) || !channelWordToMask(argv[3], &mask) ||
            !bandWordToIndex(argv[1], mBands, &band)) {
            return replyFail(out, outlen);
        }
        Record record;
        // Zeroed so that the bytes handed over, padding included, are always
        // the same.
        std::memset(&record, 0, sizeof record);
        record.channelMask = mask;
        if (!succeeded((settings->*mRead)(&record), mReadOp)) {
            return replyFail(out, outlen);
        }
        const BandField<Record>* field = find(argv[0]);
        if (field == nullptr) {
            AUDIO_LOGE("not support function(%s)\n", argv[0]);
            return replyFail(out, outlen);
        }
        field->store(record, band, argv[2]);
        // The read is not trusted to leave the mask alone: writing the record
        // back to another channel would overwrite that channel's settings.
        record.channelMask = mask;
        return replyToResult((settings->*mWrite)(&record), mWriteOp, out, outlen);
    }

private:
    const BandField<Record>* find(const char* keyword) const {
        for (int i = 0; i < mFieldCount; ++i) {
            if (std::strcmp(mFields[i].keyword, keyword) == 0) {
                return &mFields[i];
            }
        }
        return nullptr;
    }

    uint32_t mBands;
    Access mRead;
    const char* mReadOp;
    Access mWrite;
    const char* mWriteOp;
    const BandField<Record>* mFields;
    int mFieldCount;
};

#endif  // AUDIO_BAND_VALUE_EDIT_H
