#include "ToolProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "PtyServer.h"

extern char** environ;

ToolResult runTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& input, const std::map<std::string, std::string>& env) {
    // A program that ends before reading all its input must not take the test
    // down with SIGPIPE: the write fails with EPIPE instead.
    static const bool sigpipeIgnored = signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)sigpipeIgnored;
    // The entries of `env` first: the first of two entries of a name wins.
    std::vector<std::string> envText;
    for (const auto& entry : env) envText.push_back(entry.first + "=" + entry.second);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (env.count(text.substr(0, text.find('='))) == 0) envText.push_back(text);
    }
    // A cross build's programs run through its emulator, as the server does.
    std::vector<std::string> argText = PtyServer::launcher();
    argText.push_back(program);
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& text : argText) argv.push_back(&text[0]);
    for (auto& text : envText) envp.push_back(&text[0]);
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    ToolResult result;
    int fds[3][2];  // standard input, output and error: read end, write end
    for (auto& pair : fds) {
        if (pipe2(pair, O_CLOEXEC) != 0) return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0][0], 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1][1], 1);
    posix_spawn_file_actions_adddup2(&actions, fds[2][1], 2);
    pid_t pid = -1;
    // A launcher may be named without its directory.
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0][0]);
    close(fds[1][1]);
    close(fds[2][1]);
    PipeCollector out, err;
    out.start(fds[1][0]);
    err.start(fds[2][0]);
    if (rc == 0 && !input.empty()) {
        // Fits in the pipe: written at once, read or not.
        if (write(fds[0][1], input.data(), input.size()) < 0 && errno != EPIPE) {
            ADD_FAILURE() << "input not written: " << std::strerror(errno);
        }
    }
    close(fds[0][1]);
    int status = 0;
    while (rc == 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    out.stop();
    err.stop();
    result.out = out.text();
    result.err = rc == 0 ? err.text() : std::string("cannot start: ") + std::strerror(rc);
    if (rc == 0) result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

PtyCable::PtyCable(int serverMaster) : mServerMaster(serverMaster) {
    if (mPeer.ok()) mThread = std::thread([this] { relay(); });
}

PtyCable::~PtyCable() {
    mStop = true;
    if (mThread.joinable()) mThread.join();
}

void PtyCable::relay() {
    char buffer[4096];
    while (!mStop) {
        // The poll timeout only bounds how late the stop is seen.
        struct pollfd fds[2] = {{mServerMaster, POLLIN, 0}, {mPeer.master(), POLLIN, 0}};
        if (poll(fds, 2, 50) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if ((fds[i].revents & POLLIN) == 0) continue;
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            const int to = i == 0 ? mPeer.master() : mServerMaster;
            for (ssize_t done = 0, n = 0; done < got && (n >= 0 || errno == EINTR);) {
                n = write(to, buffer + done, static_cast<size_t>(got - done));
                done += n > 0 ? n : 0;
            }
        }
    }
}
