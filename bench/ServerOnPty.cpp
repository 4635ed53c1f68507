#include "ServerOnPty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void pauseMs(int ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    (void)nanosleep(&ts, nullptr);
}

}  // namespace

ServerOnPty::ServerOnPty(const std::string& binary) {
    if (!mPty.ok()) {
        return;
    }
    (void)spawn(binary);
}

ServerOnPty::~ServerOnPty() { (void)stop(); }

bool ServerOnPty::spawn(const std::string& binary) {
    std::string prefix = "DSPD_SERIAL_PREFIX=" + mPty.directory();
    std::string program = binary;
    std::string number = std::to_string(mPty.number());
    std::vector<char*> envp;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DSPD_", 5) != 0) {
            envp.push_back(*entry);
        }
    }
    envp.push_back(&prefix[0]);
    envp.push_back(nullptr);
    char* argv[] = {&program[0], &number[0], nullptr};

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return false;
    }
    posix_spawnattr_t attr;
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    const bool prepared =
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0) == 0 &&
        posix_spawnattr_setsigmask(&attr, &none) == 0 &&
        posix_spawnattr_setsigdefault(&attr, &defaults) == 0 &&
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    const int rc =
        prepared ? posix_spawn(&mPid, argv[0], &actions, &attr, argv, envp.data()) : EINVAL;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        mPid = -1;
        return false;
    }
    return true;
}

size_t ServerOnPty::readFor(char* buffer, size_t want, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t got = 0;
    while (got < want) {
        struct pollfd pfd = {mPty.master(), POLLIN, 0};
        const int ready = poll(&pfd, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        const ssize_t n = read(mPty.master(), buffer + got, want - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    return got;
}

bool ServerOnPty::waitReady(int timeoutMs) {
    if (mPty.master() < 0 || mPid <= 0) {
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char reply[5];
    for (;;) {
        // A probe sent before the server flushes its port is lost: send again.
        if (roundTrip("dsp status\n", sizeof reply, 200)) {
            break;
        }
        if (remainingMs(deadline) == 0) {
            return false;
        }
    }
    // Replies to earlier probes may still be on their way.
    char drain[256];
    while (readFor(drain, sizeof drain, 100) > 0) {
    }
    return true;
}

bool ServerOnPty::roundTrip(const std::string& line, size_t replyBytes, int timeoutMs) {
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t w = write(mPty.master(), line.data() + done, line.size() - done);
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            return false;
        }
        done += static_cast<size_t>(w);
    }
    char buffer[256];
    size_t got = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got < replyBytes) {
        const size_t want = replyBytes - got < sizeof buffer ? replyBytes - got : sizeof buffer;
        const size_t n = readFor(buffer, want, remainingMs(deadline));
        if (n == 0) {
            return false;
        }
        got += n;
    }
    return true;
}

void ServerOnPty::closeMaster() { mPty.closeMaster(); }

int ServerOnPty::stop(int timeoutMs) {
    if (mPid <= 0) {
        return -1;
    }
    kill(mPid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            mPid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if ((done < 0 && errno != EINTR) || remainingMs(deadline) == 0) {
            kill(mPid, SIGKILL);
            while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
            }
            mPid = -1;
            return -1;
        }
        pauseMs(5);
    }
}
