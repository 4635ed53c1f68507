// Settings records exchanged by pointer with the audio service client library.
//
// Each record crosses into the closed library, so its size and every field
// offset are fixed: little-endian, natural alignment, IEEE 754 single floats.
// The static_asserts below pin the layout; never reorder or resize a field.
#ifndef CLIENT_AUDIO_PARAMS_H
#define CLIENT_AUDIO_PARAMS_H

#include <cstddef>
#include <cstdint>

// Gain of one output channel ("cvol").
struct ChannelGainParam {
    uint32_t channelMask;  // exactly one bit: 1 << channel index
    uint8_t gain;
};

// 8-band equalizer of one output channel ("eq").
struct EqualizerParam {
    uint32_t channelMask;
    uint16_t cf[8];  // centre frequency per band
    float gain[8];
    uint16_t q[8];  // quality factor, an integer
};

// One band of the 20-band biquad bank; two padding bytes follow cf.
struct BiquadBand {
    int32_t type;
    uint16_t cf;
    float gain;
    float q;
    int32_t method;
    int32_t slope;
    int32_t phase;
};

// The whole biquad bank of one output channel ("bq").
struct BiquadParam {
    uint32_t channelMask;
    BiquadBand band[20];
};

// Six filter values of one output channel ("ftr"). The fields are stored out of
// argument order, and value5 is the only signed one.
struct FilterParam {
    uint32_t channelMask;
    int16_t value5;
    uint16_t value2;
    uint16_t value3;
    uint16_t value1;
    uint16_t value4;
    uint16_t value6;
};

// Loudness; it addresses no channel ("loud").
struct LoudnessParam {
    uint16_t value1;
    uint16_t value2;
    uint16_t value3;
};

// Two-band bass/treble control of one output channel ("bteq").
struct BassTrebleParam {
    uint32_t channelMask;
    uint16_t cf[2];
    float gain[2];
};

// One of the two hands-free equalizers ("hfaec seq" / "hfaec req").
struct HandsfreeEQParam {
    uint32_t which;  // 0 = "seq", 1 = "req"
    uint8_t en;      // three padding bytes follow
    int32_t cf[8];
    float gain[8];
    float q[8];
};

// Non-linear processor settings; flags names the fields that carry a value.
struct NLPConfigParam {
    uint32_t flags;  // 1 = pfWeightIdx, 2 = cnEstiIdx, 4 = cnExecIdx
    int32_t pfWeightIdx;
    int32_t cnEstiIdx;
    int32_t cnExecIdx;
};

// Values of HandsfreeEQParam::which.
enum : uint32_t {
    kHandsfreeSeq = 0,
    kHandsfreeReq = 1,
};

enum : uint32_t {
    kNlpPfWeightIdx = 1,
    kNlpCnEstiIdx = 2,
    kNlpCnExecIdx = 4,
};

static_assert(sizeof(float) == 4, "records carry IEEE 754 single floats");

static_assert(sizeof(ChannelGainParam) == 8, "ChannelGainParam layout");
static_assert(offsetof(ChannelGainParam, gain) == 4, "ChannelGainParam layout");

static_assert(sizeof(EqualizerParam) == 68, "EqualizerParam layout");
static_assert(offsetof(EqualizerParam, cf) == 4, "EqualizerParam layout");
static_assert(offsetof(EqualizerParam, gain) == 20, "EqualizerParam layout");
static_assert(offsetof(EqualizerParam, q) == 52, "EqualizerParam layout");

static_assert(sizeof(BiquadBand) == 28, "BiquadBand layout");
static_assert(offsetof(BiquadBand, cf) == 4, "BiquadBand layout");
static_assert(offsetof(BiquadBand, gain) == 8, "BiquadBand layout");
static_assert(offsetof(BiquadBand, q) == 12, "BiquadBand layout");
static_assert(offsetof(BiquadBand, method) == 16, "BiquadBand layout");
static_assert(offsetof(BiquadBand, slope) == 20, "BiquadBand layout");
static_assert(offsetof(BiquadBand, phase) == 24, "BiquadBand layout");

static_assert(sizeof(BiquadParam) == 564, "BiquadParam layout");
static_assert(offsetof(BiquadParam, band) == 4, "BiquadParam layout");

static_assert(sizeof(FilterParam) == 16, "FilterParam layout");
static_assert(offsetof(FilterParam, value5) == 4, "FilterParam layout");
static_assert(offsetof(FilterParam, value2) == 6, "FilterParam layout");
static_assert(offsetof(FilterParam, value3) == 8, "FilterParam layout");
static_assert(offsetof(FilterParam, value1) == 10, "FilterParam layout");
static_assert(offsetof(FilterParam, value4) == 12, "FilterParam layout");
static_assert(offsetof(FilterParam, value6) == 14, "FilterParam layout");

static_assert(sizeof(LoudnessParam) == 6, "LoudnessParam layout");
static_assert(offsetof(LoudnessParam, value2) == 2, "LoudnessParam layout");
static_assert(offsetof(LoudnessParam, value3) == 4, "LoudnessParam layout");

static_assert(sizeof(BassTrebleParam) == 16, "BassTrebleParam layout");
static_assert(offsetof(BassTrebleParam, cf) == 4, "BassTrebleParam layout");
static_assert(offsetof(BassTrebleParam, gain) == 8, "BassTrebleParam layout");

static_assert(sizeof(HandsfreeEQParam) == 104, "HandsfreeEQParam layout");
static_assert(offsetof(HandsfreeEQParam, en) == 4, "HandsfreeEQParam layout");
static_assert(offsetof(HandsfreeEQParam, cf) == 8, "HandsfreeEQParam layout");
static_assert(offsetof(HandsfreeEQParam, gain) == 40, "HandsfreeEQParam layout");
static_assert(offsetof(HandsfreeEQParam, q) == 72, "HandsfreeEQParam layout");

static_assert(sizeof(NLPConfigParam) == 16, "NLPConfigParam layout");
static_assert(offsetof(NLPConfigParam, pfWeightIdx) == 4, "NLPConfigParam layout");
static_assert(offsetof(NLPConfigParam, cnEstiIdx) == 8, "NLPConfigParam layout");
static_assert(offsetof(NLPConfigParam, cnExecIdx) == 12, "NLPConfigParam layout");

#endif  // CLIENT_AUDIO_PARAMS_H
