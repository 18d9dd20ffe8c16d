#pragma once

// For the native benchmarks that run programs beside them (POSIX only): a program running until
// it is interrupted, and a terminal opened raw.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// Runs with standard input and output on /dev/null; interrupted (Ctrl+C) when it goes out of
// scope, and killed when it has not ended 5 s later.
class BackgroundProgram {
public:
    BackgroundProgram() = default;
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;
    ~BackgroundProgram() { stop(); }

    bool start(const std::vector<std::string>& arguments) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        const int spawned = posix_spawnp(&child_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) child_ = -1;
        return spawned == 0;
    }

    struct Ending {
        int status = -1;  // the exit status, 128 + the signal when one ended it
        double peakMemoryMiB = 0;
    };
    // Waits however long the program takes to end by itself.
    Ending waitForEnd() {
        Ending ending;
        int status = 0;
        rusage usage{};
        if (child_ > 0 && wait4(child_, &status, 0, &usage) == child_) {
            ending.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            ending.peakMemoryMiB = static_cast<double>(usage.ru_maxrss) / 1024;  // kB on Linux
        }
        child_ = -1;
        return ending;
    }

    // Waits up to the limit for the program to end by itself, then interrupts it.
    void stop(std::chrono::milliseconds grace = std::chrono::milliseconds(0)) {
        if (child_ <= 0) return;
        int status = 0;
        const auto interruptAt = std::chrono::steady_clock::now() + grace;
        while (std::chrono::steady_clock::now() < interruptAt &&
               waitpid(child_, &status, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (waitpid(child_, &status, WNOHANG) == 0) {
            kill(child_, SIGINT);
            for (int i = 0; i < 50 && waitpid(child_, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (waitpid(child_, &status, WNOHANG) == 0) {
                kill(child_, SIGKILL);
                waitpid(child_, &status, 0);
            }
        }
        child_ = -1;
    }

private:
    pid_t child_ = -1;
};

inline int openRawTerminal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return -1;
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    return fd;
}
