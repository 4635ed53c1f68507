#include "AudioBqCommand.h"

#include <cstring>

#include "AudioCommand.h"
#include "BandValueEdit.h"
#include "ItemChecks.h"
#include "NumberWords.h"

namespace {

constexpr uint32_t kBands = 20;
constexpr int kValuesPerBand = 7;
// "channel", the channel index, then the values of every band.
constexpr int kWholeChannelWords = 2 + kBands * kValuesPerBand;

// In the order the whole-channel form takes a band's values.
const BandField<BiquadParam> kBandFields[kValuesPerBand] = {
    {"type", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].type = wordToInt(w); }},
    {"cf", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].cf = low16(wordToInt(w)); }},
    {"gain", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].gain = wordToFloat(w); }},
    {"q", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].q = wordToFloat(w); }},
    {"method", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].method = wordToInt(w); }},
    {"slope", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].slope = wordToInt(w); }},
    {"phase", [](BiquadParam& r, uint32_t b, const char* w) { r.band[b].phase = wordToInt(w); }},
};

// Read and write failures are logged under the names peers' log readers know.
const char kReadOp[] = "getEqualizer";
const char kWriteOp[] = "setEqualizer";

const BandValueEdit<BiquadParam> kBandEdit(kBands, &AudioAppSetting::getBiquad, kReadOp,
                                           &AudioAppSetting::setBiquad, kWriteOp, kBandFields);

int writeWholeChannel(AudioAppSetting* settings, char** argv, int argc, char* out, int outlen) {
    BiquadParam param;
    std::memset(&param, 0, sizeof param);  // padding included
    if (!wordCountIs(argc, kWholeChannelWords) || !channelWordToMask(argv[1], &param.channelMask)) {
        return replyFail(out, outlen);
    }
    char** values = argv + 2;
    for (uint32_t band = 0; band < kBands; ++band) {
        for (const BandField<BiquadParam>& field : kBandFields) {
            field.store(param, band, *values++);
        }
    }
    return replyToResult(settings->setBiquad(&param), kWriteOp, out, outlen);
}

}  // namespace

int AudioBqCommand::exec_i(char** argv, int argc, char* out, int outlen) {
    // The first word alone decides the form, before any count is checked.
    if (argc > 0 && std::strcmp(argv[0], "channel") == 0) {
        return writeWholeChannel(mParent->appSetting(), argv, argc, out, outlen);
    }
    return kBandEdit.exec(mParent->appSetting(), argv, argc, out, outlen);
}
