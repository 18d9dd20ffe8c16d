// How much memory veltrane-cli play holds for a long file: a 5 GiB serial file, sparse past its
// first chunks (many one-byte chunks due at once, then one due ten minutes later), is played
// into a pseudo-terminal pair until all the prompt chunks have arrived at the far end, then
// stopped with Ctrl+C. Prints the command's peak resident memory, once as it is and once with its
// address space held to 4 GiB, as on a small rig, where an allocation sized by the file fails.
//
// Usage: bench_cli_play_memory <veltrane-cli> [chunks]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include "bench/BenchSupport.h"
#include "engine/SerialFile.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kFileSize = 5ull << 30;

bool writeSparseRecording(const fs::path& path, std::uint64_t chunks) {
    SerialFileWriter writer;
    if (!writer.open(path.string())) return false;
    const std::uint8_t byte = 'x';
    for (std::uint64_t i = 0; i < chunks; ++i) writer.writeChunk(0, &byte, 1);
    writer.writeChunk(6000, &byte, 1);  // keeps the playback waiting until Ctrl+C
    if (!writer.close()) return false;
    std::error_code error;
    fs::resize_file(path, kFileSize, error);  // the rest a hole, where the file system has them
    return !error;
}

// The far end: counts what arrives.
class Drain {
public:
    explicit Drain(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        if (fd_ < 0) return;
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
        thread_ = std::thread([this] { run(); });
    }
    ~Drain() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    std::uint64_t received() const { return received_.load(); }

private:
    void run() {
        char buffer[65536];
        while (!stop_) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 50) <= 0) continue;
            const ssize_t count = ::read(fd_, buffer, sizeof buffer);
            if (count > 0) received_ += static_cast<std::uint64_t>(count);
        }
    }

    int fd_;
    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> received_{0};
    std::thread thread_;
};

struct Run {
    int status = -1;
    long peakKb = 0;
    double seconds = 0;
    std::string report;
};

// Runs play with an address space limit (0: none) until `expected` bytes arrived, then Ctrl+C.
Run playUntil(const std::vector<std::string>& words, rlim_t addressSpace, const Drain& drain,
              std::uint64_t expected, const fs::path& output) {
    Run run;
    const std::uint64_t before = drain.received();
    const auto start = BenchClock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (addressSpace > 0) {
            const rlimit limit{addressSpace, addressSpace};
            setrlimit(RLIMIT_AS, &limit);
        }
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);  // an abort's last words too
        std::vector<char*> argv;
        for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (child < 0) return run;
    int status = 0;
    rusage usage{};
    for (bool asked = false;;) {
        const pid_t ended = wait4(child, &status, WNOHANG, &usage);
        if (ended == child) break;
        const bool allArrived = drain.received() - before >= expected;
        const bool tooLong = BenchClock::now() - start > std::chrono::minutes(5);
        if (!asked && (allArrived || tooLong)) {
            kill(child, SIGINT);
            asked = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.peakKb = usage.ru_maxrss;
    std::ifstream file(output);
    std::stringstream text;
    text << file.rdbuf();
    run.report = text.str();
    return run;
}

std::string chunksSent(const std::string& report) {
    const std::string key = "chunks sent: ";
    const std::size_t at = report.find(key);
    if (at == std::string::npos) return "none";
    return report.substr(at + key.size(), report.find('\n', at) - at - key.size());
}

std::string lastLine(const std::string& text) {
    const std::size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    const std::size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [chunks]\n", argv[0]);
        return 2;
    }
    const std::uint64_t chunks = argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 4'000'000;
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    const fs::path folder = benchFolder("cli-play-memory");
    const fs::path recording = folder / "long.ser";
    if (!writeSparseRecording(recording, chunks)) {
        std::fprintf(stderr, "cannot write %s\n", recording.c_str());
        return 1;
    }
    std::printf("%s: %.1f GiB, %llu chunks of one byte due at once, then a hole\n",
                recording.c_str(), static_cast<double>(kFileSize) / (1u << 30),
                static_cast<unsigned long long>(chunks));
    Drain drain(pair.devicePortName());
    if (!drain.ok()) {
        std::fprintf(stderr, "cannot open %s\n", pair.devicePortName().c_str());
        return 1;
    }
    const std::vector<std::string> words = {argv[1],  "play",          recording.string(),
                                            "--port", pair.portName(), "--quiet"};
    std::printf("\n%-26s %6s %12s %14s %9s\n", "address space", "exit", "chunks sent",
                "peak resident", "seconds");
    for (const rlim_t limit : {rlim_t{0}, rlim_t{4ull << 30}}) {
        const Run run = playUntil(words, limit, drain, chunks, folder / "report.txt");
        std::printf("%-26s %6d %12s %11.1f MB %9.1f\n", limit == 0 ? "unlimited" : "4 GiB",
                    run.status, chunksSent(run.report).c_str(), run.peakKb / 1024.0, run.seconds);
        if (run.status != 0) std::printf("    it said: %s\n", lastLine(run.report).c_str());
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
