#include "WireTableReporter.h"

#include <cstdio>

namespace {

double counter(const benchmark::BenchmarkReporter::Run& run, const char* name, double absent) {
    const auto it = run.counters.find(name);
    return it == run.counters.end() ? absent : it->second.value;
}

// The benchmark's family name without the "/repeats:N" style suffixes.
std::string familyName(const benchmark::BenchmarkReporter::Run& run) {
    return run.run_name.function_name;
}

}  // namespace

void WireTableReporter::ReportRuns(const std::vector<Run>& reports) {
    for (const Run& run : reports) {
        if (run.error_occurred) {
            continue;
        }
        const double wireBytes = counter(run, "wire_bytes", 0.0);
        if (wireBytes <= 0.0) {
            continue;
        }
        const bool isMedian = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
        if (run.run_type == Run::RT_Aggregate && !isMedian) {
            continue;
        }
        Row row{familyName(run),
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit),
                wireBytes, counter(run, "allocs", -1.0), isMedian};
        // The median of repetitions stands for its benchmark; otherwise the
        // latest run does.
        Row* existing = nullptr;
        for (Row& r : mRows) {
            if (r.name == row.name) {
                existing = &r;
            }
        }
        if (existing == nullptr) {
            mRows.push_back(row);
        } else if (isMedian || !existing->median) {
            *existing = row;
        }
    }
    ConsoleReporter::ReportRuns(reports);
}

void WireTableReporter::Finalize() {
    ConsoleReporter::Finalize();
    std::FILE* out = stdout;
    std::fflush(out);
    std::fprintf(out, "\nIn-process cost against wire time at %d baud (10 bits a byte)\n",
                 mBaudrate);
    std::fprintf(out, "%-24s %12s %10s %12s %10s %8s %s\n", "command", "cost (us)", "bytes",
                 "wire (ms)", "ratio", "allocs", "goal <= 0.1%");
    for (const Row& row : mRows) {
        const double wire = wireSeconds(row.wireBytes);
        const double ratio = row.seconds / wire;
        const bool met = ratio <= mGoal;
        mAllMet = mAllMet && met;
        char allocs[16] = "-";
        if (row.allocs >= 0.0) {
            std::snprintf(allocs, sizeof allocs, "%.1f", row.allocs);
        }
        std::fprintf(out, "%-24s %12.3f %10.0f %12.3f %9.4f%% %8s %s\n", row.name.c_str(),
                     row.seconds * 1e6, row.wireBytes, wire * 1e3, ratio * 100.0, allocs,
                     met ? "met" : "MISSED");
    }
    std::fflush(out);
}
