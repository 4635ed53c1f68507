#include "PtyServer.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <sstream>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void pause(int ms) {
    struct timespec ts = {0, ms * 1000000L};
    nanosleep(&ts, nullptr);
}

}  // namespace

PipeCollector::~PipeCollector() { stop(); }

void PipeCollector::start(int fd) {
    mFd = fd;
    mThread = std::thread([this] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(mFd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            std::lock_guard<std::mutex> lock(mMutex);
            if (n <= 0) {
                mEnded = true;
                mChanged.notify_all();
                return;
            }
            mText.append(buffer, static_cast<size_t>(n));
            mChanged.notify_all();
        }
    });
}

void PipeCollector::stop() {
    if (mThread.joinable()) {
        mThread.join();
    }
    if (mFd >= 0) {
        close(mFd);
        mFd = -1;
    }
}

std::string PipeCollector::text() const {
    std::lock_guard<std::mutex> lock(mMutex);
    return mText;
}

size_t PipeCollector::waitFor(const std::string& needle, int timeoutMs, size_t from) const {
    std::unique_lock<std::mutex> lock(mMutex);
    size_t at = std::string::npos;
    mChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        at = from <= mText.size() ? mText.find(needle, from) : std::string::npos;
        return at != std::string::npos || mEnded;
    });
    return at;
}

bool PipeCollector::waitQuiet(int quietMs, int maxMs) const {
    const auto deadline = Clock::now() + std::chrono::milliseconds(maxMs);
    std::unique_lock<std::mutex> lock(mMutex);
    for (;;) {
        const size_t seen = mText.size();
        const bool grew = mChanged.wait_for(lock, std::chrono::milliseconds(quietMs),
                                            [&] { return mText.size() != seen || mEnded; });
        if (!grew || mEnded) return true;
        if (remainingMs(deadline) == 0) return false;
    }
}

PtyServer::PtyServer() : PtyServer(Options()) {}

PtyServer::PtyServer(const Options& options) {
    // The pty's slave end is raw before the server starts, so nothing the
    // test sends is cooked.
    if (!mPty.ok() || !spawn(options)) {
        return;
    }
    mOk = waitErr("port ready", 0, 10000) != std::string::npos;
}

PtyServer::~PtyServer() {
    if (mPid > 0) {
        const int status = stop(SIGTERM);
        if (status != 0) {
            ADD_FAILURE() << "dspd did not stop cleanly on SIGTERM (status " << status << ")\n"
                          << err().substr(err().size() > 4000 ? err().size() - 4000 : 0);
        }
    }
    if (mPid > 0) {
        kill(mPid, SIGKILL);
        int status = 0;
        while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
        }
        mPid = -1;
    }
    mStdout.stop();
    mStderr.stop();
    if (mUnreadOut >= 0) close(mUnreadOut);
}

std::vector<std::string> PtyServer::launcher() {
    const char* env = std::getenv("DSPD_TEST_LAUNCHER");
#ifdef DSPD_LAUNCHER
    const char* text = env != nullptr ? env : DSPD_LAUNCHER;
#else
    const char* text = env != nullptr ? env : "";
#endif
    std::istringstream stream(text);
    return std::vector<std::string>(std::istream_iterator<std::string>(stream),
                                    std::istream_iterator<std::string>());
}

int PtyServer::scaled(int ms) { return launcher().empty() ? ms : 10 * ms; }

bool PtyServer::spawn(const Options& options) {
    std::vector<std::string> args = launcher();
    args.push_back(DSPD_BINARY);
    // The options' entries win, then ours; of the test's own environment, a
    // service manager's entries must not reach the server, nor our settings.
    std::map<std::string, std::string> env = options.env;
    env.emplace("DSPD_SERIAL_PREFIX", mPty.directory());
    args.push_back(std::to_string(mPty.number()));
    int pipes[2][2] = {{-1, -1}, {-1, -1}};
    if (pipe2(pipes[0], O_CLOEXEC) != 0 || pipe2(pipes[1], O_CLOEXEC) != 0) {
        for (int fd : {pipes[0][0], pipes[0][1]}) close(fd);
        return false;
    }
    struct stat out;
    if (options.stdoutIsJournal && fstat(pipes[0][1], &out) == 0) {
        env["JOURNAL_STREAM"] = std::to_string(out.st_dev) + ":" + std::to_string(out.st_ino);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (name != "DSPD_SERIAL_PREFIX" && name != "DSPD_SIM_FAIL" && name != "NOTIFY_SOCKET" &&
            name != "JOURNAL_STREAM" && name.size() < text.size()) {
            env.emplace(name, text.substr(name.size() + 1));
        }
    }
    std::vector<std::string> envText;
    for (const auto& entry : env) envText.push_back(entry.first + "=" + entry.second);
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (auto& arg : args) argv.push_back(&arg[0]);
    for (auto& text : envText) envp.push_back(&text[0]);
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing else of ours (nor of whoever started us) reaches the server.
    const bool prepared =
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, pipes[0][1], 1) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, pipes[1][1], 2) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
    // The stop signals act as they would for a service, whatever ours do.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGTERM, SIGINT, SIGPIPE}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // A launcher may be named without its directory.
    const int rc =
        prepared ? posix_spawnp(&mPid, argv[0], &actions, &attr, argv.data(), envp.data()) : -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(pipes[0][1]);
    close(pipes[1][1]);
    if (rc != 0) {
        mPid = -1;
        close(pipes[0][0]);
        close(pipes[1][0]);
        return false;
    }
    if (options.stdoutReader == Options::Reader::kCollect) {
        mStdout.start(pipes[0][0]);
    } else if (options.stdoutReader == Options::Reader::kNone) {
        mUnreadOut = pipes[0][0];
    } else {
        close(pipes[0][0]);
    }
    mStderr.start(pipes[1][0]);
    return true;
}

bool PtyServer::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(mPty.master(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PtyServer::waitDrained(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(scaled(timeoutMs));
    for (;;) {
        int pending = 0;
        if (ioctl(mPty.slave(), FIONREAD, &pending) != 0) {
            return false;
        }
        if (pending == 0) {
            return true;
        }
        if (remainingMs(deadline) == 0) {
            return false;
        }
        pause(2);
    }
}

std::string PtyServer::read(size_t n, int timeoutMs) {
    return readFor(n, scaled(timeoutMs), scaled(timeoutMs));
}

std::string PtyServer::readQuiet(int quietMs, int maxMs) {
    return readFor(std::string::npos, quietMs, maxMs);
}

// Reads until `n` bytes have come, nothing has come for `quietMs` or `maxMs`
// have passed.
std::string PtyServer::readFor(size_t n, int quietMs, int maxMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(maxMs);
    std::string data;
    char buffer[4096];
    while (data.size() < n) {
        struct pollfd pfd = {mPty.master(), POLLIN, 0};
        const int ready = poll(&pfd, 1, std::min(quietMs, remainingMs(deadline)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        const ssize_t got =
            ready > 0 ? ::read(mPty.master(), buffer, std::min(sizeof buffer, n - data.size())) : 0;
        if (got <= 0) {
            break;
        }
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

int PtyServer::stop(int sig, int timeoutMs) {
    if (mPid <= 0) {
        return mStatus;
    }
    kill(mPid, sig);
    return waitExit(timeoutMs);
}

int PtyServer::waitExit(int timeoutMs) {
    if (mPid <= 0) {
        return mStatus;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(scaled(timeoutMs));
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            mPid = -1;
            mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            mStdout.stop();
            mStderr.stop();
            return mStatus;
        }
        if (done < 0 && errno != EINTR) {
            return -1;
        }
        if (remainingMs(deadline) == 0) {
            return -1;
        }
        pause(5);
    }
}
