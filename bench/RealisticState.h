// Settings of a tuned device, for benchmarks: every value non-zero and as wide
// in text as it is in the field, so the reports are as long as they get.
#ifndef BENCH_REALISTIC_STATE_H
#define BENCH_REALISTIC_STATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "SimService.h"

// A 4.1 layout, volume 40, gains and delays per channel, equalizers and
// bass/treble with negative and fractional gains, every biquad band a
// ":2:16000:-12.500000:10.000000:1:12:180", hands-free path enabled, both
// MP.bin blobs filled with a byte pattern.
audiosim::State realisticState();

// "dsp mpbin <size> xx:xx:...\n" carrying `blob` as two hex digits a byte.
std::string mpBinLine(const std::vector<uint8_t>& blob);

#endif  // BENCH_REALISTIC_STATE_H
