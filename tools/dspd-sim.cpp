// dspd-sim: runs dspd on a simulated device and offers its serial port to
// any peer program, like a null-modem cable between two pseudo-terminals.
//
//   dspd-sim [--link PATH] [--dspd PATH]
//
// The server gets one pseudo-terminal; the peer side is a second one, whose
// path is printed (and, with --link, made available as a symbolic link) once
// the server reports its port ready; the server's log passes through. The
// bytes are relayed both ways unchanged. The peer side stays open when a peer
// program closes it, so peers may come and go. SIGINT or SIGTERM stops the
// server with SIGTERM and waits for it.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

volatile sig_atomic_t gStop = 0;

void onStop(int) { gStop = 1; }

struct Pty {
    int master = -1;
    int slave = -1;  // held open so the master never sees a hang-up
    std::string path;
};

bool openPty(Pty* pty) {
    pty->master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->master < 0 || grantpt(pty->master) != 0 || unlockpt(pty->master) != 0) {
        return false;
    }
    char name[128];
    if (ptsname_r(pty->master, name, sizeof name) != 0) {
        return false;
    }
    pty->path = name;
    pty->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty->slave < 0) {
        return false;
    }
    struct termios options;
    if (tcgetattr(pty->slave, &options) != 0) {
        return false;
    }
    cfmakeraw(&options);
    cfsetispeed(&options, B115200);
    cfsetospeed(&options, B115200);
    return tcsetattr(pty->slave, TCSANOW, &options) == 0;
}

bool writeAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        const ssize_t n = write(fd, data, len);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
    return true;
}

// The dspd of the host package's private directory or of this build, else
// the one on PATH.
std::string defaultServer(const char* argv0) {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        std::string dir(self);
        dir = dir.substr(0, dir.rfind('/'));
        for (const char* candidate : {"/../lib/dspctl/dspd", "/../app/dspd", "/dspd"}) {
            const std::string path = dir + candidate;
            if (access(path.c_str(), X_OK) == 0) {
                return path;
            }
        }
    }
    (void)argv0;
    return "dspd";
}

const char kHelp[] =
    "Usage: dspd-sim [--link PATH] [--dspd PATH]\n"
    "Runs dspd on a pseudo-terminal with the simulated audio service and prints\n"
    "the other end, the peer port, once the server's port is ready: any peer\n"
    "program can open it as the device's serial line. Bytes pass both ways\n"
    "unchanged; peers may come and go. The server's echo and log lines appear\n"
    "here. SIGINT (Ctrl-C) or SIGTERM stops the server with SIGTERM.\n"
    "\n"
    "  --link PATH  also offer the peer port as a symbolic link at PATH\n"
    "  --dspd PATH  the server to run (default: the dspd that came with this\n"
    "               program, else dspd on PATH)\n"
    "  --help       print this help and exit\n"
    "  --version    print the version and exit\n";

int usage() {
    std::fprintf(stderr, "usage: dspd-sim [--link PATH] [--dspd PATH] (--help explains)\n");
    return 64;
}

}  // namespace

int main(int argc, char** argv) {
    std::string link;
    std::string server = defaultServer(argv[0]);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (argc == 2 && (arg == "--help" || arg == "--version")) {
            if (arg == "--help") {
                std::fputs(kHelp, stdout);
            } else {
                std::printf("dspd-sim %s\n", DSPD_VERSION);
            }
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if ((arg == "--link" || arg == "--dspd") && i + 1 < argc) {
            (arg == "--link" ? link : server) = argv[++i];
        } else {
            return usage();
        }
    }

    Pty serverSide;
    Pty peerSide;
    if (!openPty(&serverSide) || !openPty(&peerSide)) {
        std::perror("dspd-sim: pseudo-terminal");
        return 1;
    }

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onStop;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGINT, &action, nullptr) != 0 || sigaction(SIGTERM, &action, nullptr) != 0) {
        std::perror("dspd-sim: sigaction");
        return 1;
    }

    const size_t slash = serverSide.path.rfind('/');
    const std::string prefix = serverSide.path.substr(0, slash + 1);
    std::string port = serverSide.path.substr(slash + 1);
    if (setenv("DSPD_SERIAL_PREFIX", prefix.c_str(), 1) != 0) {
        std::perror("dspd-sim: setenv");
        return 1;
    }
    char* childArgv[] = {&server[0], &port[0], nullptr};
    // The server's log comes through us: the peer port is offered only once
    // the server reports its port ready, since bytes sent earlier are flushed.
    int logPipe[2];
    if (pipe2(logPipe, O_CLOEXEC) != 0) {
        std::perror("dspd-sim: pipe");
        return 1;
    }
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0 ||
        posix_spawn_file_actions_adddup2(&actions, logPipe[1], 2) != 0) {
        std::fprintf(stderr, "dspd-sim: cannot prepare the server's start\n");
        return 1;
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, server.c_str(), &actions, nullptr, childArgv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(logPipe[1]);
    if (rc != 0) {
        std::fprintf(stderr, "dspd-sim: cannot start %s: %s\n", server.c_str(), std::strerror(rc));
        return 1;
    }
    bool announced = false;
    std::string logTail;
    auto announce = [&] {
        if (!link.empty()) {
            unlink(link.c_str());
            if (symlink(peerSide.path.c_str(), link.c_str()) != 0) {
                std::perror("dspd-sim: symlink");
            }
        }
        std::printf("dspd-sim: simulated device ready; peer port %s%s%s\n", peerSide.path.c_str(),
                    link.empty() ? "" : " linked as ", link.c_str());
        std::fflush(stdout);
        announced = true;
    };

    int status = 0;
    bool exited = false;
    int logFd = logPipe[0];
    char buffer[8192];
    while (!gStop && !exited) {
        struct pollfd fds[3] = {
            {serverSide.master, POLLIN, 0}, {peerSide.master, POLLIN, 0}, {logFd, POLLIN, 0}};
        const int ready = poll(fds, 3, 500);
        if (waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
        }
        if (ready <= 0) {
            continue;
        }
        if ((fds[2].revents & (POLLIN | POLLHUP)) != 0) {
            const ssize_t n = read(logFd, buffer, sizeof buffer);
            if (n > 0) {
                writeAll(STDERR_FILENO, buffer, static_cast<size_t>(n));
                if (!announced) {
                    logTail.append(buffer, static_cast<size_t>(n));
                    if (logTail.find("port ready") != std::string::npos) {
                        announce();
                    }
                    // Keep enough to find the line across two reads.
                    if (logTail.size() > 64) {
                        logTail.erase(0, logTail.size() - 64);
                    }
                }
            } else if (n == 0) {
                close(logFd);
                logFd = -1;
            }
        }
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & POLLIN) == 0) {
                continue;
            }
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                writeAll(i == 0 ? peerSide.master : serverSide.master, buffer,
                         static_cast<size_t>(n));
            }
        }
    }
    if (!exited) {
        kill(pid, SIGTERM);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    // Whatever the server still logs on its way out.
    for (ssize_t n; logFd >= 0 && (n = read(logFd, buffer, sizeof buffer)) > 0;) {
        writeAll(STDERR_FILENO, buffer, static_cast<size_t>(n));
    }
    if (logFd >= 0) {
        close(logFd);
    }
    if (!link.empty() && announced) {
        unlink(link.c_str());
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    std::printf("dspd-sim: server ended with status %d\n", code);
    return code;
}
