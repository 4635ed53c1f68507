// The console as people type in it, dspctl sim on a terminal of its own with
// real keystrokes, and as scripts pipe into it. The session log tells what
// reached the device.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "PtyServer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string launched(const std::string& binary) {
    std::string command;
    for (const std::string& word : PtyServer::launcher()) command += "'" + word + "' ";
    return command + binary;
}

struct Scratch {
    char name[32] = "/tmp/dspctl-console-XXXXXX";
    const std::string dir = mkdtemp(name) != nullptr ? name : "";
    ~Scratch() { EXPECT_EQ(0, system(("rm -rf '" + dir + "'").c_str())); }
};

// The terminal's screen: read until a text shows after the last one found,
// or shows in `file` (reading the screen meanwhile).
struct Screen {
    int fd;
    std::string text;
    size_t seen = 0;
    bool until(const std::string& wanted, const std::string& file = "") {
        const auto deadline = Clock::now() + std::chrono::milliseconds(PtyServer::scaled(20000));
        for (;;) {
            const size_t at = file.empty() ? text.find(wanted, seen) : readFile(file).find(wanted);
            // At a prompt, keys typed before the editor has the terminal
            // would be cooked by it.
            struct termios mode;
            const bool editing = tcgetattr(fd, &mode) == 0 && (mode.c_lflag & ICANON) == 0;
            if (at != std::string::npos && (wanted != "dsp> " || editing)) {
                seen = file.empty() ? at + wanted.size() : seen;
                return true;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            struct pollfd pfd = {fd, POLLIN, 0};
            const int ready =
                poll(&pfd, 1,
                     at == std::string::npos && file.empty() ? static_cast<int>(left.count()) : 10);
            char buffer[4096];
            const ssize_t got = ready > 0 ? read(fd, buffer, sizeof buffer) : 0;
            if (left.count() <= 0 || got < 0 || (ready > 0 && got == 0)) return false;
            text.append(buffer, static_cast<size_t>(got));
        }
    }
};

TEST(DspctlE2ETest, ConsoleKeystrokes) {
    Scratch s;
    const std::string log = s.dir + "/session.log";
    Screen screen{-1, ""};
    const pid_t pid = forkpty(&screen.fd, nullptr, nullptr, nullptr);
    if (pid == 0) {
        setenv("XDG_STATE_HOME", (s.dir + "/state").c_str(), 1);
        execl("/bin/sh", "sh", "-c",
              ("exec " + launched(DSPCTL_BINARY) + " sim -t 30 --log " + log).c_str(), nullptr);
        _exit(127);
    }
    ASSERT_TRUE(pid > 0 && screen.until("dsp> ")) << screen.text;
    // The keys, and what shows when their command is done.
    const std::pair<std::string, std::string> steps[] = {
        {"vol 4\x1b[D1\r", "[ok]"},  // Left: the 1 goes before the 4
        {"\x1b[A\r", "[ok]"},        // Up: that line again
        {"vol 99\x03", "^C"},        // Ctrl-C: the line goes, unsent
        {"hfs\t\r", "uplink"},       // Tab completes the item's name
        {"getmp\r", "[ok]"},
        {"dsp foo\r", "sent dsp foo"},          // no reply comes ...
        {"\x03", "interrupted while waiting"},  // ... and Ctrl-C abandons that wait only
        {"status\r", "[ok]"},
    };
    for (const auto& step : steps) {
        ASSERT_EQ(static_cast<ssize_t>(step.first.size()),
                  write(screen.fd, step.first.data(), step.first.size()));
        const bool logged = step.second.rfind("sent", 0) == 0;
        ASSERT_TRUE(screen.until(step.second, logged ? log : "") &&
                    (logged || screen.until("dsp> ")))
            << step.first << screen.text;
    }
    ASSERT_EQ(1, write(screen.fd, "\x04", 1));  // Ctrl-D ends it
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5) << status;
    close(screen.fd);
    std::istringstream lines(readFile(log));
    std::vector<std::string> sent;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Z sent ") != std::string::npos)
            sent.push_back(line.substr(line.find("dsp")));
    }
    EXPECT_EQ((std::vector<std::string>{"dsp vol 14", "dsp vol 14", "dsp hfsync", "dsp getmp",
                                        "dsp foo", "dsp status"}),
              sent);
    EXPECT_NE(std::string::npos, readFile(log).find("Z got 305 bytes: 00 00 01 28 "));
    EXPECT_NE(std::string::npos, readFile(s.dir + "/state/dspctl/history").find("getmp"));
}

TEST(DspctlE2ETest, PipedInputGivesOnlyTheReplies) {
    Scratch s;
    // A line with an arrow key's bytes is refused; the JSON is the whole output.
    const std::string command = "cd " + s.dir + " && printf 'vol 4\\033[D1\\nsync --json\\n' | " +
                                launched(DSPCTL_BINARY) + " sim --log log >s.json 2>err";
    const int status = system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 64) << readFile(s.dir + "/err");
    EXPECT_EQ(0, system(("python3 -m json.tool " + s.dir + "/s.json >/dev/null").c_str()));
    EXPECT_EQ(std::string::npos, readFile(s.dir + "/log").find("sent dsp vol"));
    EXPECT_NE(std::string::npos, readFile(s.dir + "/err").find("line refused"));
    // The port from the environment when no -d names one.
    EXPECT_EQ(0, system(("DSPCTL_DEVICE=/nonexistent " + launched(DSPCTL_BINARY) +
                         " status 2>&1 | grep -qx 'dspctl: cannot open /nonexistent: No such.*'")
                            .c_str()));
}

}  // namespace
