#include "ProcessCpu.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// utime and stime are fields 14 and 15; the command name (field 2) may hold
// blanks, so counting starts after its closing parenthesis.
bool readStat(const std::string& path, double* seconds) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    char text[1024];
    const size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[n] = '\0';
    const char* close = std::strrchr(text, ')');
    if (close == nullptr) {
        return false;
    }
    unsigned long utime = 0;
    unsigned long stime = 0;
    // After ")": state (3), then fields 4 to 13, then utime (14) and stime (15).
    if (std::sscanf(close + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &utime,
                    &stime) != 2) {
        return false;
    }
    const long ticks = sysconf(_SC_CLK_TCK);
    *seconds = static_cast<double>(utime + stime) / static_cast<double>(ticks > 0 ? ticks : 100);
    return true;
}

bool readFirstNumber(const std::string& path, unsigned long long* value) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return false;
    }
    const bool ok = std::fscanf(file, "%llu", value) == 1;
    std::fclose(file);
    return ok;
}

long readSwitches(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) {
        return 0;
    }
    long total = 0;
    char line[256];
    while (std::fgets(line, sizeof line, file) != nullptr) {
        long count = 0;
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &count) == 1 ||
            std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &count) == 1) {
            total += count;
        }
    }
    std::fclose(file);
    return total;
}

}  // namespace

bool sampleCpu(pid_t pid, CpuSample* sample) {
    const std::string base = "/proc/" + std::to_string(pid);
    if (!readStat(base + "/stat", &sample->statSeconds)) {
        return false;
    }
    DIR* tasks = opendir((base + "/task").c_str());
    if (tasks == nullptr) {
        return false;
    }
    unsigned long long runNs = 0;
    long switches = 0;
    while (struct dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const std::string task = base + "/task/" + entry->d_name;
        unsigned long long ns = 0;
        if (readFirstNumber(task + "/schedstat", &ns)) {
            runNs += ns;
        }
        switches += readSwitches(task + "/status");
    }
    closedir(tasks);
    sample->schedSeconds = static_cast<double>(runNs) / 1e9;
    sample->switches = switches;
    return true;
}
