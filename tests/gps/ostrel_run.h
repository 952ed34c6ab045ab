#pragma once

// Runs the ostrel and nmea-replay programs for the tests that drive them.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using Clock = std::chrono::steady_clock;

struct ProgramRun {
    int status = -1; // as waitpid gives it
    std::string out;
    std::string err;
};

// Starts ostrel with `args`; `whileRunning` gets its pid and what it has
// printed so far on standard output and error, and may signal it. Killed
// after `limit`.
inline ProgramRun RunOstrel(const std::vector<std::string>& args,
                            const std::function<void(pid_t, const std::string& out,
                                                     const std::string& err)>& whileRunning = {},
                            std::chrono::seconds limit = std::chrono::seconds(20)) {
    ProgramRun run;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> all = {OSTREL_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, OSTREL_PROGRAM, &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return run;
    }

    const auto deadline = Clock::now() + limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* texts[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && Clock::now() < deadline) {
        if (whileRunning)
            whileRunning(pid, run.out, run.err);
        if (poll(fds, 2, 20) < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                texts[i]->append(buffer, size_t(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    if (open > 0)
        kill(pid, SIGKILL);
    for (const pollfd& p : fds)
        if (p.fd >= 0)
            close(p.fd);
    waitpid(pid, &run.status, 0);
    return run;
}

inline bool ExitedWith(const ProgramRun& run, int code) {
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == code;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

// nmea-replay run with `args`, ended with the object. `name` is the first
// line it prints: its device, or the port name that reads it.
class Replay {
public:
    explicit Replay(std::vector<std::string> args) {
        args.insert(args.begin(), NMEA_REPLAY);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        if (posix_spawn(&pid_, NMEA_REPLAY, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        // The line comes once the device or socket is there.
        char c;
        pollfd ready{out[0], POLLIN, 0};
        while (pid_ > 0 && poll(&ready, 1, 5000) > 0 && read(out[0], &c, 1) == 1 && c != '\n')
            name += c;
        close(out[0]);
    }
    // Loops `log` behind the link `link`.
    Replay(const std::string& log, const std::string& link, std::vector<std::string> options)
        : Replay([&] {
              std::vector<std::string> args = {"--loop", "--link", link};
              args.insert(args.end(), options.begin(), options.end());
              args.push_back(log);
              return args;
          }()) {}
    ~Replay() { Stop(); }
    void Stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

    std::string name;

private:
    pid_t pid_ = -1;
};
