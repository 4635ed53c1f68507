#include "AudioBassTrebleCommand.h"

#include "AudioCommand.h"
#include "BandValueEdit.h"
#include "NumberWords.h"

namespace {

const BandField<BassTrebleParam> kBassTrebleFields[] = {
    {"gain", [](BassTrebleParam& r, uint32_t b, const char* w) { r.gain[b] = wordToFloat(w); }},
    {"cf", [](BassTrebleParam& r, uint32_t b, const char* w) { r.cf[b] = low16(wordToInt(w)); }},
};

// The write failure keeps the message peers' log readers know for it.
const BandValueEdit<BassTrebleParam> kBassTrebleEdit(2, &AudioAppSetting::getBassTreble,
                                                     "getBassTreble",
                                                     &AudioAppSetting::setBassTreble,
                                                     "setEqualizer", kBassTrebleFields);

}  // namespace

int AudioBassTrebleCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    return kBassTrebleEdit.exec(mParent->appSetting(), argv, argc, out, outlen);
}
