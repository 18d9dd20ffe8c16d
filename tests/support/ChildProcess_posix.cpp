#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "tests/support/ChildProcess.h"

extern char** environ;

struct ChildProcess::Impl {
    pid_t pid = -1;
};

ChildProcess::ChildProcess() : impl_(std::make_unique<Impl>()) {}

ChildProcess::~ChildProcess() {
    if (impl_->pid > 0) {
        kill(impl_->pid, SIGKILL);
        while (waitpid(impl_->pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& outputPath, const std::string& errorPath,
                         std::string* why) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        *why = "cannot prepare the child's files";
        return false;
    }
    constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), kCreate, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), kCreate, 0644);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        *why = "cannot start " + program + ": " + std::strerror(error);
        return false;
    }
    impl_->pid = pid;
    return true;
}

bool ChildProcess::interrupt() { return impl_->pid > 0 && kill(impl_->pid, SIGINT) == 0; }

bool ChildProcess::endSession(SessionEnd how) {
    return how == SessionEnd::ConsoleClosed && impl_->pid > 0 && kill(impl_->pid, SIGHUP) == 0;
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds limit) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (impl_->pid > 0) {
        int status = 0;
        const pid_t result = waitpid(impl_->pid, &status, WNOHANG);
        if (result == impl_->pid) {
            impl_->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (result < 0 && errno != EINTR) return std::nullopt;
        if (std::chrono::steady_clock::now() > giveUp) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}
