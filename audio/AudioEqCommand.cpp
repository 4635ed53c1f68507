#include "AudioEqCommand.h"

#include "AudioCommand.h"
#include "BandValueEdit.h"
#include "NumberWords.h"

namespace {

const BandField<EqualizerParam> kEqFields[] = {
    {"gain", [](EqualizerParam& r, uint32_t b, const char* w) { r.gain[b] = wordToFloat(w); }},
    {"cf", [](EqualizerParam& r, uint32_t b, const char* w) { r.cf[b] = low16(wordToInt(w)); }},
    {"q", [](EqualizerParam& r, uint32_t b, const char* w) { r.q[b] = low16(wordToInt(w)); }},
};

const BandValueEdit<EqualizerParam> kEqEdit(8, &AudioAppSetting::getEqualizer, "getEqualizer",
                                            &AudioAppSetting::setEqualizer, "setEqualizer",
                                            kEqFields);

}  // namespace

int AudioEqCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    return kEqEdit.exec(mParent->appSetting(), argv, argc, out, outlen);
}
