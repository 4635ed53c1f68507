// Console reporter that also sets each benchmark's in-process cost beside the
// time its bytes take on the serial line.
//
// A benchmark takes part by setting the counter "wire_bytes" (request plus
// reply, in bytes); "allocs" (heap allocations per iteration), when set, is
// shown too. With repetitions the median is used. Not thread-safe; used by
// the benchmark runner's one thread.
#ifndef BENCH_WIRE_TABLE_REPORTER_H
#define BENCH_WIRE_TABLE_REPORTER_H

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

class WireTableReporter : public benchmark::ConsoleReporter {
public:
    // 10 bits a byte: 8 data bits with one start and one stop bit.
    static constexpr double kBitsPerByte = 10.0;

    // `baudrate` in bits per second; `goal` is the largest cost/wire ratio
    // that meets the goal (0.001 for 0.1%).
    // `options` as for the console reporter (colours, tabular counters).
    WireTableReporter(int baudrate, double goal, OutputOptions options)
        : ConsoleReporter(options), mBaudrate(baudrate), mGoal(goal) {}

    void ReportRuns(const std::vector<Run>& reports) override;
    // Prints the table after the console output.
    void Finalize() override;

    // Seconds the line needs for `bytes` bytes.
    double wireSeconds(double bytes) const { return bytes * kBitsPerByte / mBaudrate; }

    // False once a row missed the goal (known after Finalize).
    bool allMet() const { return mAllMet; }

private:
    struct Row {
        std::string name;
        double seconds;    // CPU time per iteration
        double wireBytes;  // request plus reply
        double allocs;     // per iteration, -1 when not counted
        bool median;       // taken from the median of repetitions
    };

    int mBaudrate;
    double mGoal;
    bool mAllMet = true;
    std::vector<Row> mRows;
};

#endif  // BENCH_WIRE_TABLE_REPORTER_H
