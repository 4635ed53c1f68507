// CPU time used by another process, read from /proc.
#ifndef BENCH_PROCESS_CPU_H
#define BENCH_PROCESS_CPU_H

#include <sys/types.h>

struct CpuSample {
    double statSeconds = 0.0;   // utime + stime of /proc/<pid>/stat (clock ticks)
    double schedSeconds = 0.0;  // on-CPU time of every thread, from schedstat (ns)
    long switches = 0;          // voluntary and involuntary context switches, all threads
};

// Reads the figures of process `pid` at this moment. False when the process
// is gone or /proc cannot be read; *sample is then unspecified.
bool sampleCpu(pid_t pid, CpuSample* sample);

#endif  // BENCH_PROCESS_CPU_H
