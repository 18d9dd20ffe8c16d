// Replays one generated recording (over a minute, several hundred bursts of varied sizes) into a
// pseudo-terminal with veltrane-cli natively and under Wine, the window's playback under Wine,
// and three general replay tools, asciinema (through script, so that it has a terminal),
// scriptreplay and ttyplay, given the same bursts in their own formats. The far end timestamps
// every read with one monotonic clock; each burst's lateness is when its first byte arrived
// against when it was due, both counted from the first burst, so a tool's start-up time does not
// count and drift shows as the last burst's lateness. Every player runs twice: on a quiet machine,
// then with one core kept busy by a niced busy loop that the benchmark starts.
//
// Usage: bench_cli_replay <veltrane-cli> [<veltrane-cli.exe> <wine loader>
//                                         [<bench_window_play_worker.exe>]]
// (WINEPREFIX set for the Windows programs). BENCH_PLAYERS="name,name" runs only the players of
// those names (e.g. "veltrane-cli,asciinema"), BENCH_BUSY=no only the quiet run.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "bench/BenchSupport.h"
#include "bench/CliBenchSupport.h"
#include "engine/SerialFile.h"

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

// An asciicast v2: a header line, then one output event a burst, in seconds from the start. Its
// text is JSON, so each byte stands as a lower-case letter: the byte counts, which the far end
// goes by, stay the same, and a terminal passes letters unchanged.
bool writeAsciicast(const fs::path& path, const std::vector<Burst>& bursts) {
    std::ofstream file(path, std::ios::binary);
    file << "{\"version\": 2, \"width\": 80, \"height\": 24}\n";
    for (const Burst& burst : bursts) {
        std::string text;
        for (const char byte : burst.data)
            text.push_back(static_cast<char>('a' + static_cast<unsigned char>(byte) % 26));
        char time[32];
        std::snprintf(time, sizeof time, "%.6f", burst.timeOffset / 10.0);
        file << "[" << time << ", \"o\", \"" << text << "\"]\n";
    }
    return file.good();
}

// A niced busy loop on the last core, for as long as this exists: one core busy, the others free.
class BusyCore {
public:
    BusyCore() {
        child_ = fork();
        if (child_ != 0) return;
        cpu_set_t last;
        CPU_ZERO(&last);
        CPU_SET(static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN)) - 1, &last);
        sched_setaffinity(0, sizeof last, &last);
        setpriority(PRIO_PROCESS, 0, 19);
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
    }
    ~BusyCore() {
        if (child_ <= 0) return;
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    BusyCore(const BusyCore&) = delete;
    BusyCore& operator=(const BusyCore&) = delete;
    bool running() const { return child_ > 0; }

private:
    pid_t child_ = -1;
};

// The far end: the master of a pseudo-terminal, whose slave the players write to. No relay
// process stands between them: a relay would be scheduled like any program, and its wake-ups,
// not the players' writes, would set the worst case on a busy machine. The reading thread runs at
// a real-time priority above the players' where the system allows it, for the same reason. Every
// read is kept with the instant it returned, until all bytes came or the line stayed quiet for
// the given time after the player ended.
class Receiver {
public:
    bool open() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return false;
        const char* name = ptsname(master_);
        if (name == nullptr) return false;
        slavePath_ = name;
        // Held open so that a player closing its end does not hang the line up between players.
        slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
        if (slave_ < 0) return false;
        return rawLine();
    }
    ~Receiver() {
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    // The path the players write to.
    const std::string& portPath() const { return slavePath_; }
    // Whether the last run's reads were made at a real-time priority.
    bool readAtRealTime() const { return realTime_; }

    // Bytes pass unchanged (no newline translation), whatever the last player left set.
    bool rawLine() {
        termios settings{};
        if (tcgetattr(slave_, &settings) != 0) return false;
        cfmakeraw(&settings);
        if (tcsetattr(slave_, TCSANOW, &settings) != 0) return false;
        tcflush(slave_, TCIOFLUSH);
        return true;
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
        sched_param param{};
        param.sched_priority = kFarEndPriority;
        realTime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
        char buffer[4096];
        auto quietSince = BenchClock::now();
        while (received_ < expected_) {
            pollfd wait{master_, POLLIN, 0};
            if (poll(&wait, 1, 50) > 0) {
                const ssize_t count = ::read(master_, buffer, sizeof buffer);
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

    // Above the players' own raised priority, below the system's interrupt threads.
    static constexpr int kFarEndPriority = 20;
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::atomic<bool> realTime_{false};
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
    double p50 = 0, p99 = 0, max = 0, second = 0, last = 0;
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
    figures.second = lateness.size() > 1 ? lateness[1] : 0.0;
    figures.last = lateness.back();
    return figures;
}

struct Player {
    std::string name;
    std::vector<std::string> command;
    std::string output;  // the port for the tools that write to standard output; ours write to
                         // the port themselves, so their standard output is dropped
    fs::path report;     // veltrane-cli's own timing report
};

// BENCH_PLAYERS, when set, names the players to run, separated by commas.
bool wanted(const std::string& name) {
    const char* list = std::getenv("BENCH_PLAYERS");
    if (list == nullptr || *list == '\0') return true;
    std::stringstream names(list);
    for (std::string one; std::getline(names, one, ',');) {
        if (one == name) return true;
    }
    return false;
}

using Results = std::vector<std::pair<std::string, Figures>>;

// The system's load average over the last minute, so that a run on a machine that was not quiet
// shows as such; negative when it cannot be read.
double loadAverage() {
    std::ifstream file("/proc/loadavg");
    double load = -1.0;
    file >> load;
    return load;
}

Results runPlayers(const std::vector<Player>& players, Receiver& receiver,
                   const std::vector<Burst>& bursts, std::size_t total) {
    Results results;
    std::printf("%-22s %8s %8s %8s %8s %8s %9s %9s  %s\n", "player", "p50", "p99", "max", "second",
                "last", "p99-p50", "max-p50", "own report: p99, max, first, last");
    for (const Player& player : players) {
        receiver.rawLine();
        receiver.start(total);
        const int status = runProgram(player.command, player.output);
        receiver.playerEnded();
        receiver.join();
        const Figures f = latenessOf(receiver, bursts);
        results.emplace_back(player.name, f);
        if (!f.complete) {
            std::printf("%-22s exit %d, %zu of %zu bytes arrived\n", player.name.c_str(), status,
                        receiver.received(), total);
            continue;
        }
        std::printf("%-22s %8.3f %8.3f %8.3f %8.3f %8.3f %9.3f %9.3f", player.name.c_str(), f.p50,
                    f.p99, f.max, f.second, f.last, f.p99 - f.p50, f.max - f.p50);
        // Where the far end and the player's own report differ, the time went after the write
        // began: in the write, the line or the far end.
        if (!player.report.empty()) {
            if (const auto own = reportNumbers(
                    player.report, {"lateness_p99_ms", "lateness_max_ms", "first_chunk_lateness_ms",
                                    "last_chunk_lateness_ms"})) {
                std::printf("  %.3f, %.3f, %.3f, %.3f", (*own)[0], (*own)[1], (*own)[2], (*own)[3]);
            } else {
                std::printf("  (no report)");
            }
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    std::printf("(the far end read at a real-time priority: %s)\n",
                receiver.readAtRealTime() ? "yes" : "no, it was refused");
    return results;
}

// The goals for our players against asciinema's figures of the same run.
void printGoals(const Results& results, bool busy) {
    const Figures* peer = nullptr;
    for (const auto& [name, figures] : results) {
        if (name == "asciinema" && figures.complete) peer = &figures;
    }
    for (const auto& [name, f] : results) {
        if (!f.complete || (name.rfind("veltrane", 0) != 0 && name.rfind("window", 0) != 0))
            continue;
        std::printf("%-22s", name.c_str());
        if (busy) {
            std::printf(" max-p50 %.3f <= 2: %s", f.max - f.p50,
                        f.max - f.p50 <= 2.0 ? "yes" : "NO");
        } else {
            if (peer) {
                std::printf(" p99-p50 <= asciinema's: %s, max-p50 <= asciinema's: %s,",
                            f.p99 - f.p50 <= peer->p99 - peer->p50 ? "yes" : "NO",
                            f.max - f.p50 <= peer->max - peer->p50 ? "yes" : "NO");
            }
            std::printf(" last <= p99 + 0.5: %s", f.last <= f.p99 + 0.5 ? "yes" : "NO");
        }
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr,
                     "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader> "
                     "[<bench_window_play_worker.exe>]]\n",
                     argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("cli-replay");
    const std::vector<Burst> bursts = planBursts();
    const fs::path recording = folder / "recording.ser", typescript = folder / "typescript",
                   timing = folder / "timing", ttyrec = folder / "recording.ttyrec",
                   asciicast = folder / "recording.cast";
    if (!writeSerialFile(recording, bursts) || !writeTypescript(typescript, timing, bursts) ||
        !writeTtyrec(ttyrec, bursts) || !writeAsciicast(asciicast, bursts)) {
        std::fprintf(stderr, "cannot write the recordings in %s\n", folder.c_str());
        return 1;
    }
    const std::size_t total = bursts.back().firstByte + bursts.back().data.size();
    std::printf("%zu bursts, %zu bytes, %.1f s; lateness in ms\n", bursts.size(), total,
                bursts.back().timeOffset / 10.0);

    Receiver receiver;
    if (!receiver.open()) {
        std::fprintf(stderr, "cannot open a pseudo-terminal: %s\n", std::strerror(errno));
        return 1;
    }
    const std::string port = receiver.portPath();
    std::vector<Player> all = {
        {"veltrane-cli",
         {argv[1], "play", recording.string(), "--port", port, "--quiet", "--report",
          (folder / "native.json").string()},
         "/dev/null",
         folder / "native.json"},
        // asciinema plays only to a terminal: script gives it one and copies its output out.
        {"asciinema",
         {"script", "-q", "-e", "-c", "asciinema play " + asciicast.string(), "/dev/null"},
         port,
         {}},
        {"scriptreplay", {"scriptreplay", "-t", timing.string(), typescript.string()}, port, {}},
        {"ttyplay", {"ttyplay", ttyrec.string()}, port, {}},
    };
    fs::path comLink;
    if (argc >= 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        comLink = fs::path(prefix ? prefix : "") / "dosdevices" / "com5";
        std::error_code ignored;
        fs::remove(comLink, ignored);
        fs::create_symlink(port, comLink, ignored);
        all.insert(all.begin() + 1,
                   {"veltrane-cli (Wine)",
                    {argv[3], argv[2], "play", onDriveZ(recording), "--port", "COM5", "--quiet",
                     "--report", onDriveZ(folder / "wine.json")},
                    "/dev/null",
                    folder / "wine.json"});
        if (argc == 5) {
            all.insert(all.begin() + 2, {"window (Wine)",
                                         {argv[3], argv[4], onDriveZ(recording), "COM5"},
                                         "/dev/null",
                                         {}});
        }
    }
    std::vector<Player> players;
    for (const Player& player : all) {
        if (wanted(player.name)) players.push_back(player);
    }

    std::printf("\n-- quiet machine (load average %.2f)\n", loadAverage());
    const Results quiet = runPlayers(players, receiver, bursts, total);
    std::printf("\ngoals, quiet machine:\n");
    printGoals(quiet, false);
    const char* busyWanted = std::getenv("BENCH_BUSY");
    if (busyWanted == nullptr || std::string(busyWanted) != "no") {
        const BusyCore busy;
        if (busy.running()) {
            std::printf("\n-- one core busy (a niced busy loop; load average %.2f as it began)\n",
                        loadAverage());
            const Results loaded = runPlayers(players, receiver, bursts, total);
            std::printf("\ngoals, one core busy:\n");
            printGoals(loaded, true);
        } else {
            std::printf("\nno busy loop could be started\n");
        }
    }
    if (!comLink.empty()) {
        std::error_code ignored;
        fs::remove(comLink, ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
