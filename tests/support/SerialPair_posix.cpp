#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "tests/support/SerialPair.h"

extern char** environ;

namespace {

class SpawnActions {
public:
    SpawnActions() { valid_ = posix_spawn_file_actions_init(&actions_) == 0; }
    ~SpawnActions() {
        if (valid_) posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    // socat's chatter must not mix into the test output, nor may it read the test's input.
    bool silence() {
        return valid_ &&
               posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0) == 0 &&
               posix_spawn_file_actions_addopen(&actions_, 2, "/dev/null", O_WRONLY, 0) == 0;
    }
    const posix_spawn_file_actions_t* get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
    bool valid_ = false;
};

bool exited(pid_t pid) {
    int status = 0;
    pid_t result;
    do {
        result = waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    return result == pid || (result < 0 && errno == ECHILD);
}

}  // namespace

SerialPair::~SerialPair() { stop(); }

bool SerialPair::start(std::string* why) {
    stop();
    std::string pattern =
        (std::filesystem::temp_directory_path() / "veltrane-pair-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        *why = std::string("cannot make a directory for the pair: ") + std::strerror(errno);
        return false;
    }
    directory_ = buffer.data();
    portName_ = directory_ + "/ttyA";
    devicePortName_ = directory_ + "/ttyB";
    return startSocat(why);
}

bool SerialPair::startSocat(std::string* why) {
    std::string first = "pty,raw,echo=0,link=" + portName_;
    std::string second = "pty,raw,echo=0,link=" + devicePortName_;
    char program[] = "socat";
    char* argv[] = {program, first.data(), second.data(), nullptr};
    SpawnActions actions;
    pid_t pid = -1;
    int error = actions.silence()
                    ? posix_spawnp(&pid, program, actions.get(), nullptr, argv, environ)
                    : ENOMEM;
    if (error != 0) {
        *why = std::string("cannot start socat: ") + std::strerror(error);
        stop();
        return false;
    }
    processId_ = pid;

    auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        std::error_code ignored;
        if (std::filesystem::exists(portName_, ignored) &&
            std::filesystem::exists(devicePortName_, ignored)) {
            return true;
        }
        if (exited(pid)) {
            processId_ = -1;  // already reaped
            *why = "socat ended before making the pseudo-terminals";
            stop();
            return false;
        }
        if (std::chrono::steady_clock::now() > giveUp) {
            *why = "socat made no pseudo-terminals within 5 s";
            stop();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool SerialPair::takeAway() {
    if (processId_ <= 0) return false;
    endSocat();
    // socat removes its links as it ends; a killed one may not have.
    std::error_code ignored;
    std::filesystem::remove(portName_, ignored);
    std::filesystem::remove(devicePortName_, ignored);
    return true;
}

bool SerialPair::bringBack(std::string* why) {
    if (directory_.empty() || processId_ > 0) {
        *why = "the pair was not taken away";
        return false;
    }
    return startSocat(why);
}

bool SerialPair::stop() {
    const bool stopped = processId_ > 0;
    endSocat();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
        directory_.clear();
    }
    return stopped;
}

void SerialPair::endSocat() {
    if (processId_ > 0) {
        pid_t pid = static_cast<pid_t>(processId_);
        kill(pid, SIGTERM);
        // socat ends at once on SIGTERM; do not let a stuck one hang the test run.
        auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!exited(pid)) {
            if (std::chrono::steady_clock::now() > giveUp) {
                kill(pid, SIGKILL);
                while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
                }
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        processId_ = -1;
    }
}
