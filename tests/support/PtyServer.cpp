#include "PtyServer.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <sstream>

#include "DspHarness.h"

extern char** environ;

// The emulator of a cross build, or none.
#ifndef DSPD_LAUNCHER
#define DSPD_LAUNCHER ""
#endif

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point after(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void pause(int ms) { poll(nullptr, 0, ms); }

// What a file holds from offset `from` on; "" for a pipe, which has no
// offsets.
std::string contents(int fd, size_t from = 0) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = pread(fd, buffer, sizeof buffer, from + text.size())) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

}  // namespace

// Declared with the harness's other helpers; the deadline loops live here.
std::string readFor(int fd, size_t n, int maxMs, int quietMs) {
    const auto deadline = after(maxMs);
    std::string data;
    char buffer[4096];
    while (data.size() < n) {
        struct pollfd pfd = {fd, POLLIN, 0};
        const int ready =
            poll(&pfd, 1, std::min(quietMs < 0 ? maxMs : quietMs, remainingMs(deadline)));
        if (ready < 0 && errno == EINTR) continue;
        const ssize_t got =
            ready > 0 ? ::read(fd, buffer, std::min(sizeof buffer, n - data.size())) : 0;
        if (got <= 0) break;
        data.append(buffer, static_cast<size_t>(got));
    }
    return data;
}

PtyServer::PtyServer() : PtyServer(Options()) {}

PtyServer::PtyServer(const Options& options) {
    // The pty's slave end is raw before the server starts, so nothing the
    // test sends is cooked.
    mOk = mPty.ok() && spawn(options) && waitErr("port ready", 0, 10000) != std::string::npos;
}

PtyServer::~PtyServer() {
    if (mPid > 0) {
        const int status = stop(SIGTERM);
        if (status != 0) {
            const std::string log = err();
            ADD_FAILURE() << "dspd did not stop cleanly on SIGTERM (status " << status << ")\n"
                          << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
        }
    }
    stop(SIGKILL);
    for (int fd : {mOut, mErr}) {
        if (fd >= 0) close(fd);
    }
}

std::vector<std::string> PtyServer::launcher() {
    const char* env = std::getenv("DSPD_TEST_LAUNCHER");
    std::istringstream stream(env != nullptr ? env : DSPD_LAUNCHER);
    return std::vector<std::string>(std::istream_iterator<std::string>(stream),
                                    std::istream_iterator<std::string>());
}

int PtyServer::scaled(int ms) { return launcher().empty() ? ms : 10 * ms; }

bool PtyServer::spawn(const Options& options) {
    std::vector<std::string> args = launcher();
    args.push_back(DSPD_BINARY);
    args.push_back(std::to_string(mPty.number()));
    // Standard output is a file like standard error, or a pipe whose read
    // end the test keeps unread or has closed before the server starts.
    using Reader = Options::Reader;
    int ends[2] = {-1, -1};
    mErr = memfd_create("dspd-stderr", MFD_CLOEXEC);
    if (options.stdoutReader == Reader::kCollect) {
        mOut = memfd_create("dspd-stdout", MFD_CLOEXEC);
    } else if (pipe2(ends, O_CLOEXEC) == 0 && options.stdoutReader == Reader::kNone) {
        mOut = ends[0];
    } else if (ends[0] >= 0) {
        close(ends[0]);
    }
    const int serverOut = options.stdoutReader == Reader::kCollect ? mOut : ends[1];
    if (mErr < 0 || serverOut < 0) {
        return false;
    }
    // The options' entries win, then ours; of the test's own environment, a
    // service manager's entries must not reach the server, nor our settings.
    std::map<std::string, std::string> env = options.env;
    env.emplace("DSPD_SERIAL_PREFIX", mPty.directory());
    struct stat out;
    if (options.stdoutIsJournal && fstat(serverOut, &out) == 0) {
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
        posix_spawn_file_actions_adddup2(&actions, serverOut, 1) == 0 &&
        posix_spawn_file_actions_adddup2(&actions, mErr, 2) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
    // The stop signals act as they would for a service, whatever ours do.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attr, &signals);  // none blocked
    for (int sig : {SIGTERM, SIGINT, SIGPIPE}) sigaddset(&signals, sig);
    posix_spawnattr_setsigdefault(&attr, &signals);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    // A launcher may be named without its directory.
    const int rc =
        prepared ? posix_spawnp(&mPid, argv[0], &actions, &attr, argv.data(), envp.data()) : -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (ends[1] >= 0) close(ends[1]);
    if (rc != 0) mPid = -1;
    return rc == 0;
}

bool PtyServer::send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(mPty.master(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool PtyServer::waitDrained(int timeoutMs) {
    const auto deadline = after(scaled(timeoutMs));
    for (int pending = 0;; pause(2)) {
        if (ioctl(mPty.slave(), FIONREAD, &pending) != 0) return false;
        if (pending == 0) return true;
        if (remainingMs(deadline) == 0) return false;
    }
}

std::string PtyServer::read(size_t n, int timeoutMs) {
    return readFor(mPty.master(), n, scaled(timeoutMs));
}

std::string PtyServer::readQuiet(int quietMs, int maxMs) {
    return readFor(mPty.master(), std::string::npos, maxMs, quietMs);
}

std::string PtyServer::out() const { return contents(mOut); }

std::string PtyServer::err(size_t from) const { return contents(mErr, from); }

size_t PtyServer::waitErr(const std::string& needle, size_t from, int timeoutMs) {
    const auto deadline = after(scaled(timeoutMs));
    for (;; pause(1)) {
        // Whether it has exited is asked first: what it wrote before is all there.
        const bool exited = waitExit(0) != -1;
        const size_t at = contents(mErr, from).find(needle);
        if (at != std::string::npos) return from + at;
        if (exited || remainingMs(deadline) == 0) return std::string::npos;
    }
}

bool PtyServer::waitErrQuiet(int quietMs, int maxMs) {
    const auto deadline = after(scaled(maxMs));
    auto quiet = after(scaled(quietMs));
    for (off_t seen = 0;; pause(1)) {
        struct stat status;
        if (fstat(mErr, &status) != 0) return false;
        if (status.st_size != seen) {
            seen = status.st_size;
            quiet = after(scaled(quietMs));
        } else if (remainingMs(quiet) == 0) {
            return true;
        }
        if (remainingMs(deadline) == 0) return false;
    }
}

int PtyServer::stop(int sig, int timeoutMs) {
    if (mPid > 0) kill(mPid, sig);
    return waitExit(timeoutMs);
}

int PtyServer::waitExit(int timeoutMs) {
    const auto deadline = after(scaled(timeoutMs));
    while (mPid > 0) {
        int status = 0;
        const pid_t done = waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            mPid = -1;
            mStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        } else if ((done < 0 && errno != EINTR) || remainingMs(deadline) == 0) {
            return -1;
        } else {
            pause(5);
        }
    }
    return mStatus;
}
