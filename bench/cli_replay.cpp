// Replays one generated recording (over a minute, several hundred bursts of varied sizes) into a
// pseudo-terminal pair with veltrane-cli natively and under Wine, and with two general replay
// tools, scriptreplay and ttyplay, given the same bursts in their own formats. The far end
// timestamps every read with one monotonic clock; each burst's lateness is when its first byte
// arrived against when it was due, both counted from the first burst, so a tool's start-up time
// does not count and drift shows as the last burst's lateness.
//
// Usage: bench_cli_replay <veltrane-cli> [<veltrane-cli.exe> <wine loader>]  (WINEPREFIX set for
// the Windows program)
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "bench/BenchSupport.h"
#include "bench/CliBenchSupport.h"
#include "engine/SerialFile.h"
#include "tests/support/SerialPair.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Burst {
    std::uint32_t timeOffset;  // tenths of a second
    std::size_t firstByte;     // index of its first byte in the whole stream
    std::string data;
};

std::vector<Burst> planBursts() {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> gap(1, 3), small(1, 40), large(150, 255), value(0, 255);
    std::bernoulli_distribution isLarge(0.2);
    std::vector<Burst> bursts;
    std::uint32_t offset = 5;
    std::size_t position = 0;
    while (offset < 650) {
        Burst burst{offset, position, {}};
        const int length = isLarge(random) ? large(random) : small(random);
        for (int i = 0; i < length; ++i) burst.data.push_back(static_cast<char>(value(random)));
        position += burst.data.size();
        bursts.push_back(std::move(burst));
        offset += static_cast<std::uint32_t>(gap(random));
    }
    return bursts;
}

bool writeSerialFile(const fs::path& path, const std::vector<Burst>& bursts) {
    SerialFileWriter writer;
    if (!writer.open(path.string())) return false;
    for (const Burst& burst : bursts) {
        writer.writeChunk(burst.timeOffset,
                          reinterpret_cast<const std::uint8_t*>(burst.data.data()),
                          static_cast<std::uint8_t>(burst.data.size()));
    }
    return writer.close();
}

// A typescript (its first line is a header that the replay skips) and its timing file: for each
// write, the seconds since the previous one and the byte count.
bool writeTypescript(const fs::path& typescript, const fs::path& timing,
                     const std::vector<Burst>& bursts) {
    std::ofstream text(typescript, std::ios::binary), times(timing);
    text << "Script started on 2026-12-07 00:00:00+00:00\n";
    std::uint32_t previous = 0;
    for (const Burst& burst : bursts) {
        text << burst.data;
        char line[64];
        std::snprintf(line, sizeof line, "%.6f %zu\n", (burst.timeOffset - previous) / 10.0,
                      burst.data.size());
        times << line;
        previous = burst.timeOffset;
    }
    return text.good() && times.good();
}

void appendLittleEndian(std::string& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>(value >> shift));
}

// Records of seconds, microseconds and length (little-endian), then the bytes.
bool writeTtyrec(const fs::path& path, const std::vector<Burst>& bursts) {
    std::string out;
    const std::uint32_t base = 1'800'000'000;
    for (const Burst& burst : bursts) {
        appendLittleEndian(out, base + burst.timeOffset / 10);
        appendLittleEndian(out, burst.timeOffset % 10 * 100'000);
        appendLittleEndian(out, static_cast<std::uint32_t>(burst.data.size()));
        out += burst.data;
    }
    std::ofstream file(path, std::ios::binary);
    file << out;
    return file.good();
}

// The far end: every read with the instant it returned, until all bytes came or the line stayed
// quiet for the given time after the player ended.
class Receiver {
public:
    bool open(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0) return false;
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }
    ~Receiver() {
        if (fd_ >= 0) ::close(fd_);
    }

    void start(std::size_t expected) {
        arrivals_.clear();
        expected_ = expected;
        received_ = 0;
        playerEnded_ = false;
        thread_ = std::thread([this] { run(); });
    }
    void playerEnded() { playerEnded_ = true; }
    void join() { thread_.join(); }

    // When the byte with this index arrived; nothing when it never did.
    std::optional<BenchClock::time_point> arrivalOf(std::size_t byte) const {
        for (const auto& [at, end] : arrivals_) {
            if (byte < end) return at;
        }
        return std::nullopt;
    }
    std::size_t received() const { return received_; }

private:
    void run() {
        char buffer[4096];
        auto quietSince = BenchClock::now();
        while (received_ < expected_) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 50) > 0) {
                const ssize_t count = ::read(fd_, buffer, sizeof buffer);
                const auto now = BenchClock::now();
                if (count > 0) {
                    received_ += static_cast<std::size_t>(count);
                    arrivals_.emplace_back(now, received_);
                    quietSince = now;
                    continue;
                }
            }
            if (playerEnded_ && BenchClock::now() - quietSince > std::chrono::seconds(3)) break;
        }
    }

    int fd_ = -1;
    std::thread thread_;
    std::vector<std::pair<BenchClock::time_point, std::size_t>> arrivals_;  // instant, bytes so far
    std::size_t expected_ = 0;
    std::size_t received_ = 0;
    std::atomic<bool> playerEnded_{false};
};

// Runs a program to its end with standard input an idle pipe and, when given, standard output
// sent to a file.
int runProgram(const std::vector<std::string>& arguments, const std::string& output) {
    int idle[2];
    if (pipe(idle) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, idle[0], STDIN_FILENO);
    if (!output.empty()) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_NOCTTY, 0);
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(idle[0]);
    int status = -1;
    if (spawned == 0) waitpid(child, &status, 0);
    ::close(idle[1]);
    return spawned == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Figures {
    bool complete = false;
    double p50 = 0, p99 = 0, max = 0, drift = 0;
};

Figures latenessOf(const Receiver& receiver, const std::vector<Burst>& bursts) {
    Figures figures;
    std::vector<double> lateness;
    const auto first = receiver.arrivalOf(bursts.front().firstByte);
    if (!first) return figures;
    for (const Burst& burst : bursts) {
        const auto arrived = receiver.arrivalOf(burst.firstByte);
        if (!arrived) return figures;
        const double since = std::chrono::duration<double, std::milli>(*arrived - *first).count();
        lateness.push_back(since - (burst.timeOffset - bursts.front().timeOffset) * 100.0);
    }
    figures.complete = true;
    figures.p50 = percentile(lateness, 0.50);
    figures.p99 = percentile(lateness, 0.99);
    figures.max = *std::max_element(lateness.begin(), lateness.end());
    figures.drift = lateness.back();
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
                     argv[0]);
        return 2;
    }
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    const fs::path folder = benchFolder("cli-replay");
    const std::vector<Burst> bursts = planBursts();
    const fs::path recording = folder / "recording.ser", typescript = folder / "typescript",
                   timing = folder / "timing", ttyrec = folder / "recording.ttyrec";
    if (!writeSerialFile(recording, bursts) || !writeTypescript(typescript, timing, bursts) ||
        !writeTtyrec(ttyrec, bursts)) {
        std::fprintf(stderr, "cannot write the recordings in %s\n", folder.c_str());
        return 1;
    }
    const std::size_t total = bursts.back().firstByte + bursts.back().data.size();
    std::printf("%zu bursts, %zu bytes, %.1f s\n", bursts.size(), total,
                bursts.back().timeOffset / 10.0);

    Receiver receiver;
    if (!receiver.open(pair.devicePortName())) {
        std::fprintf(stderr, "cannot open %s\n", pair.devicePortName().c_str());
        return 1;
    }
    struct Player {
        std::string name;
        std::vector<std::string> command;
        std::string output;  // the port for the tools that write to standard output; our
                             // report goes to its JSON file, so our standard output is dropped
        fs::path report;     // our own timing report
    };
    const std::string port = pair.portName();
    std::vector<Player> players = {
        {"veltrane-cli",
         {argv[1], "play", recording.string(), "--port", port, "--quiet", "--report",
          (folder / "native.json").string()},
         "/dev/null",
         folder / "native.json"},
        {"scriptreplay", {"scriptreplay", "-t", timing.string(), typescript.string()}, port, {}},
        {"ttyplay", {"ttyplay", ttyrec.string()}, port, {}},
    };
    fs::path comLink;
    if (argc == 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        comLink = fs::path(prefix ? prefix : "") / "dosdevices" / "com5";
        std::error_code ignored;
        fs::remove(comLink, ignored);
        fs::create_symlink(port, comLink, ignored);
        players.insert(players.begin() + 1,
                       {"veltrane-cli (Wine)",
                        {argv[3], argv[2], "play", onDriveZ(recording), "--port", "COM5", "--quiet",
                         "--report", onDriveZ(folder / "wine.json")},
                        "/dev/null",
                        folder / "wine.json"});
    }

    std::vector<std::pair<std::string, Figures>> results;
    std::printf("\n%-20s %9s %9s %9s %9s  %s\n", "player", "p50 ms", "p99 ms", "max ms", "drift ms",
                "own report p99 ms");
    for (const Player& player : players) {
        receiver.start(total);
        const int status = runProgram(player.command, player.output);
        receiver.playerEnded();
        receiver.join();
        const Figures figures = latenessOf(receiver, bursts);
        results.emplace_back(player.name, figures);
        if (!figures.complete) {
            std::printf("%-20s exit %d, %zu of %zu bytes arrived\n", player.name.c_str(), status,
                        receiver.received(), total);
            continue;
        }
        std::printf("%-20s %9.3f %9.3f %9.3f %9.3f", player.name.c_str(), figures.p50, figures.p99,
                    figures.max, figures.drift);
        if (!player.report.empty()) {
            if (auto own = reportNumber(player.report, "lateness_p99_ms")) {
                std::printf("  %.3f (far end %+.3f)", *own, figures.p99 - *own);
            } else {
                std::printf("  (no report)");
            }
        }
        std::printf("\n");
    }
    if (!comLink.empty()) {
        std::error_code ignored;
        fs::remove(comLink, ignored);
    }

    std::printf("\nratios, ours / theirs (below 1: ours is closer to the recorded timing)\n");
    for (const auto& [ours, our] : results) {
        if (ours.rfind("veltrane-cli", 0) != 0 || !our.complete) continue;
        for (const auto& [theirs, their] : results) {
            if (theirs.rfind("veltrane-cli", 0) == 0 || !their.complete) continue;
            std::printf("%-20s / %-12s p99 %.3f, max %.3f\n", ours.c_str(), theirs.c_str(),
                        our.p99 / their.p99, our.max / their.max);
        }
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
