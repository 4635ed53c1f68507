// The state file of a simulated device's state, for the benchmarks that
// restore one.
#ifndef BENCH_STORED_STATE_H
#define BENCH_STORED_STATE_H

#include <string>

#include "SimService.h"

// The text `dspctl store` writes for a device holding `state`.
std::string storedStateText(const audiosim::State& state);

#endif  // BENCH_STORED_STATE_H
