#include "SimDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <initializer_list>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char kReadyLine[] = "port ready";

void pauseMs(int ms) {
    struct timespec ts = {0, ms * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// The last `count` lines of `text`, for a message.
std::string lastLines(const std::string& text, int count) {
    if (text.empty()) {
        return text;
    }
    size_t start = text.size();
    if (start > 0 && text[start - 1] == '\n') {
        --start;
    }
    for (int i = 0; i < count && start > 0; ++i) {
        start = text.rfind('\n', start - 1);
        if (start == std::string::npos) {
            return text;
        }
    }
    return text.substr(start + 1);
}

std::string exitText(int status) {
    if (WIFEXITED(status)) {
        return "status " + std::to_string(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        return "signal " + std::to_string(WTERMSIG(status));
    }
    return "unknown status";
}

}  // namespace

SimDevice::~SimDevice() {
    if (mPid > 0) {
        stop();
    }
    closeAll();
}

std::string SimDevice::findServer() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        dir.erase(dir.rfind('/'));
        // The host package's private one first: a dspd on PATH there may
        // be a device build's.
        for (const char* candidate :
             {"/../lib/dspctl/dspd", "/dspd", "/../../app/dspd", "/../app/dspd"}) {
            const std::string path = dir + candidate;
            if (access(path.c_str(), X_OK) == 0) {
                return path;
            }
        }
    }
    return "dspd";
}

bool SimDevice::start(const Options& options, std::string* message) {
    mServer = options.server.empty() ? findServer() : options.server;
    mStopTimeoutMs = options.stopTimeoutMs;
    if (!openTerminal(message) || !openLog(options.logPath, message) || !spawn(message) ||
        !waitReady(options.readyTimeoutMs, message)) {
        if (mPid > 0) {
            stop();
        }
        // A log file of our own naming that holds nothing tells nothing.
        struct stat log;
        if (options.logPath.empty() && mLog >= 0 && fstat(mLog, &log) == 0 && log.st_size == 0) {
            unlink(mLogPath.c_str());
        }
        closeAll();
        return false;
    }
    return true;
}

bool SimDevice::openTerminal(std::string* message) {
    mMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (mMaster < 0 || grantpt(mMaster) != 0 || unlockpt(mMaster) != 0) {
        *message = systemError("cannot open a pseudo-terminal");
        return false;
    }
    char name[128];
    if (ptsname_r(mMaster, name, sizeof name) != 0) {
        *message = systemError("cannot name the pseudo-terminal");
        return false;
    }
    mSlavePath = name;
    mSlave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (mSlave < 0) {
        *message = systemError("cannot open " + mSlavePath);
        return false;
    }
    // Raw from the start: nothing the console sends is cooked before the
    // server has set the line up itself.
    struct termios settings;
    if (tcgetattr(mSlave, &settings) != 0) {
        *message = systemError("cannot read the settings of " + mSlavePath);
        return false;
    }
    cfmakeraw(&settings);
    if (cfsetispeed(&settings, B115200) != 0 || cfsetospeed(&settings, B115200) != 0 ||
        tcsetattr(mSlave, TCSANOW, &settings) != 0) {
        *message = systemError("cannot set up " + mSlavePath);
        return false;
    }
    return true;
}

bool SimDevice::openLog(const std::string& path, std::string* message) {
    if (path.empty()) {
        const char* tmp = getenv("TMPDIR");
        std::string name =
            std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/dspctl-sim-XXXXXX.log";
        mLog = mkstemps(&name[0], 4);
        mLogPath = name;
        if (mLog >= 0 &&
            (fcntl(mLog, F_SETFD, FD_CLOEXEC) != 0 || fcntl(mLog, F_SETFL, O_APPEND) != 0)) {
            *message = systemError("cannot set up the log file " + mLogPath);
            return false;
        }
    } else {
        mLogPath = path;
        mLog = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    }
    if (mLog < 0) {
        *message = systemError("cannot create the log file " + mLogPath);
        return false;
    }
    return true;
}

bool SimDevice::spawn(std::string* message) {
    const size_t slash = mSlavePath.rfind('/');
    const std::string prefix = "DSPD_SERIAL_PREFIX=" + mSlavePath.substr(0, slash + 1);
    std::string port = mSlavePath.substr(slash + 1);
    std::vector<char*> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DSPD_SERIAL_PREFIX=", 19) != 0) {
            env.push_back(*entry);
        }
    }
    env.push_back(const_cast<char*>(prefix.c_str()));
    env.push_back(nullptr);
    std::string server = mServer;
    char* argv[] = {&server[0], &port[0], nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        *message = "cannot prepare the server's start";
        return false;
    }
    if (posix_spawnattr_init(&attr) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        *message = "cannot prepare the server's start";
        return false;
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaddset(&defaults, sig);
    }
    int rc = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, mLog, 1);
    if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions, mLog, 2);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attr, &none);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr, &defaults);
    if (rc == 0) rc = posix_spawnattr_setpgroup(&attr, 0);
    if (rc == 0) {
        rc = posix_spawnattr_setflags(
            &attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    // Said before starting anything, so the message is the same wherever the
    // start itself cannot report a missing program (under an emulator, say).
    if (rc == 0 && mServer.find('/') != std::string::npos && access(mServer.c_str(), X_OK) != 0) {
        rc = errno;
    }
    if (rc == 0) {
        rc = mServer.find('/') == std::string::npos
                 ? posix_spawnp(&mPid, argv[0], &actions, &attr, argv, env.data())
                 : posix_spawn(&mPid, argv[0], &actions, &attr, argv, env.data());
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        mPid = -1;
        *message = "cannot start " + mServer + ": " + std::strerror(rc) +
                   " (build it, or name it with --dspd PATH)";
        return false;
    }
    return true;
}

bool SimDevice::waitReady(int timeoutMs, std::string* message) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string log;
    char buffer[4096];
    for (;;) {
        const ssize_t n = pread(mLog, buffer, sizeof buffer, static_cast<off_t>(log.size()));
        if (n < 0 && errno != EINTR) {
            *message = systemError("cannot read the log file " + mLogPath);
            return false;
        }
        if (n > 0) {
            log.append(buffer, static_cast<size_t>(n));
            if (log.find(kReadyLine) != std::string::npos) {
                return true;
            }
            continue;
        }
        int status = 0;
        const pid_t done = waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            mPid = -1;
            *message =
                mServer + " ended (" + exitText(status) + ") before its port was ready; " +
                (log.empty() ? "it logged nothing"
                             : "its last words, from " + mLogPath + ":\n" + lastLines(log, 5));
            return false;
        }
        if (Clock::now() >= deadline) {
            *message = mServer + " did not report its port ready within " +
                       std::to_string(timeoutMs / 1000) + " s; see " + mLogPath;
            return false;
        }
        pauseMs(10);
    }
}

int SimDevice::stop() {
    if (mPid <= 0) {
        return -1;
    }
    if (kill(mPid, SIGTERM) != 0 && errno != ESRCH) {
        return -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(mStopTimeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            mPid = -1;
            return -1;
        }
        if (Clock::now() >= deadline) {
            kill(mPid, SIGKILL);
            while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        pauseMs(10);
    }
    mPid = -1;
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

void SimDevice::closeAll() {
    for (int* fd : {&mMaster, &mSlave, &mLog}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}
