// What the tests of dspctl run it with: a program run to its end as a script
// would, the files it reads and writes, and a cable to the server's terminal.
#ifndef TESTS_SUPPORT_TOOL_PROCESS_H
#define TESTS_SUPPORT_TOOL_PROCESS_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PseudoTerminal.h"

struct ToolResult {
    int status = -1;  // exit status; 128 + signal when killed by one; -1 when not started
    std::string out;
    std::string err;
};

// `args` excludes the program itself; `input` (at most a pipe's worth) is its
// standard input; `env` entries are added to the test's environment or
// replace them. Waits for the program to end, however long it takes.
ToolResult runTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input = std::string(),
                   const std::map<std::string, std::string>& env = {});

// A null-modem cable: a second pseudo-terminal whose slave path the peer
// program opens as its serial port, and a thread that relays bytes both ways
// between its master end and `serverMaster` (PtyServer::masterFd(), not owned).
class PtyCable {
public:
    explicit PtyCable(int serverMaster);
    ~PtyCable();  // stops the relay and closes the terminal
    bool ok() const { return mPeer.ok(); }
    const std::string& peerPath() const { return mPeer.path(); }  // e.g. /dev/pts/9

private:
    void relay();

    int mServerMaster;
    PseudoTerminal mPeer;
    std::atomic<bool> mStop{false};
    std::thread mThread;
};

// A directory of its own, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/dspctl-test-XXXXXX";
        if (mkdtemp(name) != nullptr) path = name;
    }
    ~TempDir() {
        if (!path.empty()) {
            EXPECT_EQ(0, system(("rm -rf '" + path + "'").c_str()));
        }
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

inline std::string readFile(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// `size` bytes of every value, different for each `seed`.
inline std::string blobOf(size_t size, unsigned seed = 1) {
    std::string bytes;
    for (size_t i = 0; i < size; ++i) bytes += static_cast<char>((i * 37 + seed * 11) & 0xFF);
    return bytes;
}

#endif  // TESTS_SUPPORT_TOOL_PROCESS_H
