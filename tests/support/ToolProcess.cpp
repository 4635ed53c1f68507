#include "ToolProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "PtyServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

void closeBoth(int fds[2]) {
    close(fds[0]);
    close(fds[1]);
}

}  // namespace

ToolResult runTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input, const std::map<std::string, std::string>& env,
                   int timeoutMs) {
    // A program that ends before reading all its input must not take the test
    // down with SIGPIPE: the write then fails with EPIPE instead.
    static const bool sigpipeIgnored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)sigpipeIgnored;
    ToolResult result;
    std::map<std::string, std::string> vars;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const char* eq = std::strchr(*entry, '=');
        if (eq != nullptr) {
            vars[std::string(*entry, static_cast<size_t>(eq - *entry))] = eq + 1;
        }
    }
    for (const auto& entry : env) {
        if (entry.second.empty()) {
            vars.erase(entry.first);
        } else {
            vars[entry.first] = entry.second;
        }
    }
    std::vector<std::string> envText;
    for (const auto& entry : vars) {
        envText.push_back(entry.first + "=" + entry.second);
    }
    std::vector<char*> envp;
    for (auto& text : envText) envp.push_back(&text[0]);
    envp.push_back(nullptr);
    // A cross build's programs run through its emulator, as the server does.
    std::vector<std::string> argText = PtyServer::launcher();
    argText.push_back(program);
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& text : argText) argv.push_back(&text[0]);
    argv.push_back(nullptr);

    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) != 0) return result;
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        closeBoth(inPipe);
        return result;
    }
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        closeBoth(inPipe);
        closeBoth(outPipe);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    // The program gets SIGPIPE back as it would from a shell.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    // A launcher may be named without its directory.
    const int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc != 0) {
        close(inPipe[1]);
        close(outPipe[0]);
        close(errPipe[0]);
        result.err = std::string("cannot start: ") + std::strerror(rc);
        return result;
    }

    // Input is small (a few command lines); a program that does not read it
    // must not block us, so it is written as the pipe takes it.
    fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int outFd = outPipe[0];
    int errFd = errPipe[0];
    char buffer[4096];
    while ((outFd >= 0 || errFd >= 0) && remainingMs(deadline) > 0) {
        struct pollfd fds[3] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}, {inFd, POLLOUT, 0}};
        const int ready = poll(fds, 3, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (inFd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t n = write(inFd, input.data() + written, input.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
        for (int i = 0; i < 2; ++i) {
            int& fd = i == 0 ? outFd : errFd;
            if (fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                close(fd);
                fd = -1;
            }
        }
    }
    for (int fd : {inFd, outFd, errFd}) {
        if (fd >= 0) close(fd);
    }
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            break;
        }
        if ((done < 0 && errno != EINTR) || remainingMs(deadline) == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.status = -1;
            return result;
        }
        struct timespec pause = {0, 5 * 1000000L};
        nanosleep(&pause, nullptr);
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
