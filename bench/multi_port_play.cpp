// Whether a rig of two devices replayed by veltrane-cli play, each interface of one conversation
// file out of its own port, keeps the recorded order and spacing across the ports. The file
// holds bursts that alternate irregularly between the ports, 2 to 20 ms apart; the benchmark
// reads both far ends in one poll loop and notes when each burst arrived. It prints how many
// consecutive bursts of different ports arrived in the other order, and how far each gap between
// consecutive bursts of different ports strayed from the recorded one (p50, p99, max), natively
// and, when given, for veltrane-cli.exe under Wine on two mapped COM ports.
//
// Usage: bench_multi_port_play <veltrane-cli> [<veltrane-cli.exe> <wine loader>]
// (WINEPREFIX set for the Windows program)
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#include "bench/BackgroundProgram.h"
#include "bench/BenchSupport.h"
#include "bench/CliBenchSupport.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;

constexpr int kBursts = 600;
constexpr std::size_t kBurstBytes = 4;

struct Planned {
    std::uint64_t micros;  // since the first
    std::uint32_t port;
};

// Bursts of 4 bytes: a port's mark, then the burst's number, so the far end knows which it got.
std::vector<Planned> writeRig(const fs::path& path) {
    std::mt19937 random(7);
    std::vector<Planned> plan;
    std::uint64_t at = 0;
    for (int i = 0; i < kBursts; ++i) {
        plan.push_back({at, static_cast<std::uint32_t>(random() % 2)});
        at += 2'000 + random() % 18'000;
    }
    ConversationWriter writer;
    if (writer.open(path.string(), {"bench", {{"meter", "115200 8N1"}, {"valve", "115200 8N1"}}})
            .happened())
        return {};
    const std::uint64_t start = 1'700'000'000'000'000;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        const std::uint8_t bytes[kBurstBytes] = {
            static_cast<std::uint8_t>('A' + plan[i].port), static_cast<std::uint8_t>(i >> 16),
            static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)};
        ConversationBurst burst{start + plan[i].micros, Direction::Device, 0, bytes};
        burst.interfaceIndex = plan[i].port;
        if (writer.write(burst).happened()) return {};
    }
    return writer.close().happened() ? std::vector<Planned>{} : plan;
}

// Reads both far ends until every burst came or nothing came for 3 s; each burst's arrival.
std::vector<std::optional<BenchClock::time_point>> readBoth(int first, int second) {
    std::vector<std::optional<BenchClock::time_point>> arrived(kBursts);
    std::vector<std::uint8_t> pending[2];
    int got = 0;
    pollfd waits[2] = {{first, POLLIN, 0}, {second, POLLIN, 0}};
    auto quietUntil = BenchClock::now() + std::chrono::seconds(20);
    while (got < kBursts && BenchClock::now() < quietUntil) {
        if (poll(waits, 2, 100) <= 0) continue;
        const auto now = BenchClock::now();
        for (int side = 0; side < 2; ++side) {
            if (!(waits[side].revents & POLLIN)) continue;
            std::uint8_t buffer[512];
            const ssize_t n = ::read(waits[side].fd, buffer, sizeof buffer);
            if (n <= 0) continue;
            pending[side].insert(pending[side].end(), buffer, buffer + n);
            quietUntil = now + std::chrono::seconds(3);
            while (pending[side].size() >= kBurstBytes) {
                const std::size_t number = static_cast<std::size_t>(pending[side][1]) << 16 |
                                           pending[side][2] << 8 | pending[side][3];
                if (number < arrived.size() && !arrived[number]) {
                    arrived[number] = now;
                    ++got;
                }
                pending[side].erase(pending[side].begin(), pending[side].begin() + kBurstBytes);
            }
        }
    }
    return arrived;
}

void measure(const char* label, const std::vector<Planned>& plan, const SerialPair& meter,
             const SerialPair& valve, const std::function<bool(BackgroundProgram&)>& start) {
    const int first = openRawTerminal(meter.devicePortName());
    const int second = openRawTerminal(valve.devicePortName());
    BackgroundProgram player;
    if (first < 0 || second < 0 || !start(player)) {
        std::printf("%-28s could not start\n", label);
        return;
    }
    const auto arrived = readBoth(first, second);
    ::close(first);
    ::close(second);
    int missing = 0, swapped = 0;
    std::vector<double> strays;
    for (std::size_t i = 0; i < plan.size(); ++i) {
        if (!arrived[i]) {
            ++missing;
            continue;
        }
        if (i == 0 || !arrived[i - 1] || plan[i].port == plan[i - 1].port) continue;
        const double gap =
            std::chrono::duration<double, std::milli>(*arrived[i] - *arrived[i - 1]).count();
        const double recorded = static_cast<double>(plan[i].micros - plan[i - 1].micros) / 1000.0;
        if (gap < 0) ++swapped;
        strays.push_back(std::fabs(gap - recorded));
    }
    if (strays.empty()) {
        std::printf("%-28s nothing arrived\n", label);
        return;
    }
    std::printf("%-28s %7d %8d %8zu %9.3f %9.3f %9.3f\n", label, missing, swapped, strays.size(),
                percentile(strays, 0.50), percentile(strays, 0.99),
                *std::max_element(strays.begin(), strays.end()));
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
                     argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("multi-port-play");
    const fs::path file = folder / "rig.pcapng";
    const std::vector<Planned> plan = writeRig(file);
    if (plan.empty()) {
        std::printf("cannot write %s\n", file.c_str());
        return 1;
    }
    SerialPair meter, valve;
    std::string why;
    if (!meter.start(&why) || !valve.start(&why)) {
        std::printf("no serial pairs: %s\n", why.c_str());
        return 1;
    }
    std::printf(
        "%d bursts of %zu bytes alternating irregularly between two ports, 2-20 ms apart\n"
        "(cross-port gaps: consecutive bursts of different ports)\n\n",
        kBursts, kBurstBytes);
    std::printf("%-28s %7s %8s %8s %9s %9s %9s\n", "player", "missing", "reversed", "gaps",
                "stray p50", "stray p99", "stray max");
    measure("veltrane-cli play", plan, meter, valve, [&](BackgroundProgram& player) {
        return player.start({argv[1], "play", file.string(), "--port", "1=" + meter.portName(),
                             "--port", "2=" + valve.portName(), "-b", "115200"});
    });
    if (argc == 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        const fs::path devices = fs::path(prefix ? prefix : "") / "dosdevices";
        std::error_code ignored;
        fs::remove(devices / "com5", ignored);
        fs::remove(devices / "com7", ignored);
        fs::create_symlink(meter.portName(), devices / "com5", ignored);
        fs::create_symlink(valve.portName(), devices / "com7", ignored);
        measure("veltrane-cli.exe play (Wine)", plan, meter, valve, [&](BackgroundProgram& player) {
            return player.start({argv[3], argv[2], "play", onDriveZ(file), "--port", "1=COM5",
                                 "--port", "2=COM7", "-b", "115200"});
        });
        fs::remove(devices / "com5", ignored);
        fs::remove(devices / "com7", ignored);
    }
    std::printf(
        "\n(stray: how far a cross-port gap at the far ends was from the recorded gap, ms)\n");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
