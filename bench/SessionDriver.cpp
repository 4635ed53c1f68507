// dspd_session: one server session for measurements.
//
//   dspd_session COMMANDS_FILE
//
// Starts dspd on a pseudo-terminal (through DSPD_TEST_LAUNCHER when set, e.g.
// a valgrind tool), sends each line of the file in turn, collecting whatever
// comes back, then a final "dsp status" whose "[ok]" shows that every line
// has been handled. With the server idle it prints what /proc tells about it
// (one "key value" line each; fd lines name every open descriptor), then stops
// it with SIGTERM. Exit status 0 when the session ran and the server stopped
// with status 0.
#include <dirent.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "PtyServer.h"

namespace {

const std::string kOk("[ok]\0", 5);

// The value of `key` ("VmHWM:") in /proc/<pid>/status, without its unit.
std::string statusField(pid_t pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0) {
            const size_t begin = line.find_first_not_of(" \t", key.size());
            const size_t end = line.find(' ', begin);
            return begin == std::string::npos ? "" : line.substr(begin, end - begin);
        }
    }
    return "?";
}

// Descriptor numbers and what they refer to.
std::vector<std::pair<std::string, std::string>> openDescriptors(pid_t pid) {
    std::vector<std::pair<std::string, std::string>> fds;
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) {
        return fds;
    }
    while (const struct dirent* entry = readdir(listing)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        char target[PATH_MAX];
        const ssize_t n = readlink((dir + "/" + entry->d_name).c_str(), target, sizeof target - 1);
        fds.emplace_back(entry->d_name, n > 0 ? std::string(target, static_cast<size_t>(n)) : "?");
    }
    closedir(listing);
    return fds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: dspd_session COMMANDS_FILE\n");
        return 64;
    }
    std::vector<std::string> lines;
    {
        std::ifstream file(argv[1]);
        if (!file) {
            std::fprintf(stderr, "dspd_session: cannot read %s\n", argv[1]);
            return 66;
        }
        for (std::string line; std::getline(file, line);) {
            if (!line.empty()) {
                lines.push_back(line + "\n");
            }
        }
    }

    // Deadlines are lengthened under a launcher such as a valgrind tool.
    PtyServer server;
    if (!server.ok()) {
        std::fprintf(stderr, "dspd_session: server not ready\n%s", server.err().c_str());
        return 1;
    }
    size_t replyBytes = 0;
    for (const std::string& line : lines) {
        if (!server.send(line)) {
            std::fprintf(stderr, "dspd_session: cannot send\n");
            return 1;
        }
        replyBytes += server.readQuiet(100, 30000).size();
    }
    // Lines are handled in order: the last reply is the final status's.
    std::string tail;
    if (server.send("dsp status\n")) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline &&
               (tail.size() < kOk.size() ||
                tail.compare(tail.size() - kOk.size(), kOk.size(), kOk) != 0)) {
            tail += server.read(1, 1000);
        }
    }
    if (tail.size() < kOk.size() || tail.compare(tail.size() - kOk.size(), kOk.size(), kOk) != 0) {
        std::fprintf(stderr, "dspd_session: no answer to the final status\n");
        return 1;
    }
    replyBytes += tail.size() - kOk.size();

    const pid_t pid = server.pid();
    std::printf("lines %zu\n", lines.size());
    std::printf("reply_bytes %zu\n", replyBytes);
    std::printf("vm_hwm_kib %s\n", statusField(pid, "VmHWM:").c_str());
    std::printf("vm_rss_kib %s\n", statusField(pid, "VmRSS:").c_str());
    std::printf("threads %s\n", statusField(pid, "Threads:").c_str());
    const auto fds = openDescriptors(pid);
    std::printf("fds %zu\n", fds.size());
    for (const auto& fd : fds) {
        std::printf("fd %s %s\n", fd.first.c_str(), fd.second.c_str());
    }
    std::fflush(stdout);
    const int status = server.stop(SIGTERM, 60000);
    if (status != 0) {
        std::fprintf(stderr, "dspd_session: server ended with %d\n%s", status,
                     server.err().c_str());
        return 1;
    }
    return 0;
}
