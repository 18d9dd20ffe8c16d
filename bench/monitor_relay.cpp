// What sitting between a program and its device costs: the round trip of a request through a
// relay to a device that answers at once, and back. The host and the device are threads of this
// program on two pseudo-terminal pairs; in between sits nothing (the host on the device's own
// pair: the floor), socat (the yardstick), veltrane-cli monitor natively (with the host side on a
// second pair, and as its own pseudo-terminal) and, when given, under Wine on two mapped COM
// ports. Each relay is reported as the time it adds to the floor, and against socat's.
//
// Usage: bench_monitor_relay <veltrane-cli> [<veltrane-cli.exe> <wine loader>]  (WINEPREFIX set
// for the Windows program)
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "bench/BackgroundProgram.h"
#include "bench/BenchSupport.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;

constexpr int kRoundTrips = 400;
constexpr std::size_t kRequestBytes = 8;

// Reads exactly count bytes within the limit; false when they did not all come.
bool readExactly(int fd, std::uint8_t* into, std::size_t count, std::chrono::milliseconds limit) {
    const auto end = BenchClock::now() + limit;
    std::size_t got = 0;
    while (got < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - BenchClock::now());
        if (left.count() < 0) return false;
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        const ssize_t n = ::read(fd, into + got, count - got);
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    return true;
}

void drain(int fd) {
    std::uint8_t buffer[4096];
    pollfd wait{fd, POLLIN, 0};
    while (poll(&wait, 1, 300) > 0 && ::read(fd, buffer, sizeof buffer) > 0) {
    }
}

// The device: sends every byte back as soon as it comes.
class EchoDevice {
public:
    bool start(const std::string& path) {
        fd_ = openRawTerminal(path);
        if (fd_ < 0) return false;
        thread_ = std::thread([this] { run(); });
        return true;
    }
    ~EchoDevice() {
        stopping_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }

private:
    void run() {
        std::uint8_t buffer[4096];
        while (!stopping_) {
            pollfd wait{fd_, POLLIN, 0};
            if (poll(&wait, 1, 20) <= 0) continue;
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0 && ::write(fd_, buffer, static_cast<std::size_t>(n)) != n) return;
        }
    }
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

struct RoundTrips {
    bool complete = false;
    double p50 = 0, p99 = 0, max = 0;
};

// The host: waits (up to the limit) for the relay to pass a first request, then times requests
// numbered in their bytes, a few milliseconds apart, each until its whole answer came back.
RoundTrips measure(const std::string& hostPath, std::chrono::seconds readyLimit) {
    RoundTrips result;
    int fd = -1;
    const auto giveUp = BenchClock::now() + readyLimit;
    while (fd < 0 && BenchClock::now() < giveUp) {
        fd = openRawTerminal(hostPath);
        if (fd < 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (fd < 0) return result;
    std::uint8_t request[kRequestBytes], answer[kRequestBytes];
    bool ready = false;
    while (!ready && BenchClock::now() < giveUp) {
        std::memset(request, 0xA5, sizeof request);
        ready = ::write(fd, request, sizeof request) == static_cast<ssize_t>(sizeof request) &&
                readExactly(fd, answer, sizeof answer, std::chrono::milliseconds(200));
    }
    drain(fd);
    std::vector<double> times;
    for (int trip = 0; ready && trip < kRoundTrips; ++trip) {
        for (std::size_t i = 0; i < kRequestBytes; ++i)
            request[i] = static_cast<std::uint8_t>(trip + i);
        const auto sent = BenchClock::now();
        if (::write(fd, request, sizeof request) != static_cast<ssize_t>(sizeof request) ||
            !readExactly(fd, answer, sizeof answer, std::chrono::seconds(2)) ||
            std::memcmp(request, answer, sizeof request) != 0) {
            ::close(fd);
            return result;
        }
        times.push_back(
            std::chrono::duration<double, std::milli>(BenchClock::now() - sent).count());
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    ::close(fd);
    if (!ready) return result;
    result.complete = true;
    result.p50 = percentile(times, 0.50);
    result.p99 = percentile(times, 0.99);
    result.max = *std::max_element(times.begin(), times.end());
    return result;
}

std::string onDriveZ(const fs::path& path) {
    std::string text = "Z:" + path.string();
    for (char& c : text) c = c == '/' ? '\\' : c;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
                     argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("monitor-relay");
    std::printf(
        "%d round trips of %zu bytes through each relay to a device that echoes at once\n\n",
        kRoundTrips, kRequestBytes);
    std::printf("%-28s %9s %9s %9s %12s %14s\n", "relay", "p50 ms", "p99 ms", "max ms", "added p50",
                "added p99");

    std::optional<RoundTrips> floor, socat;
    auto report = [&](const char* name, const RoundTrips& trips) {
        if (!trips.complete) {
            std::printf("%-28s did not pass every round trip\n", name);
            return;
        }
        std::printf("%-28s %9.3f %9.3f %9.3f", name, trips.p50, trips.p99, trips.max);
        if (floor) std::printf(" %12.3f %14.3f", trips.p50 - floor->p50, trips.p99 - floor->p99);
        if (socat && floor && socat->p50 > floor->p50) {
            std::printf("   x%.2f of socat's added p50, x%.2f p99",
                        (trips.p50 - floor->p50) / (socat->p50 - floor->p50),
                        (trips.p99 - floor->p99) / std::max(1e-3, socat->p99 - floor->p99));
        }
        std::printf("\n");
    };

    // Each relay gets fresh pairs: a relay that closes its ports may end a pair's socat.
    auto relayThrough = [&](const char* name, auto&& startRelay, bool hostOnPair,
                            const std::string& hostLink,
                            std::chrono::seconds readyLimit) -> std::optional<RoundTrips> {
        SerialPair hostPair, devicePair;
        std::string why;
        if ((hostOnPair && !hostPair.start(&why)) || !devicePair.start(&why)) {
            std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
            return std::nullopt;
        }
        EchoDevice device;
        if (!device.start(devicePair.devicePortName())) return std::nullopt;
        BackgroundProgram relay;
        if (!startRelay(relay, hostPair, devicePair)) {
            std::printf("%-28s could not start\n", name);
            return std::nullopt;
        }
        const RoundTrips trips = measure(hostOnPair ? hostPair.portName() : hostLink, readyLimit);
        report(name, trips);
        return trips;
    };

    {
        SerialPair pair;
        std::string why;
        EchoDevice device;
        if (!pair.start(&why) || !device.start(pair.devicePortName())) {
            std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
            return 1;
        }
        const RoundTrips trips = measure(pair.portName(), std::chrono::seconds(5));
        report("none (the pair itself)", trips);
        if (trips.complete) floor = trips;
    }
    const std::string cli = argv[1];
    const std::string output = (folder / "relay.pcapng").string();
    auto viaSocat = relayThrough(
        "socat",
        [](BackgroundProgram& relay, SerialPair& host, SerialPair& device) {
            return relay.start({"socat", host.devicePortName() + ",raw,echo=0",
                                device.portName() + ",raw,echo=0"});
        },
        true, {}, std::chrono::seconds(5));
    if (viaSocat && viaSocat->complete) socat = viaSocat;
    relayThrough(
        "veltrane-cli monitor",
        [&](BackgroundProgram& relay, SerialPair& host, SerialPair& device) {
            return relay.start({cli, "monitor", "--host-port", host.devicePortName(),
                                "--device-port", device.portName(), "-o", output, "--quiet"});
        },
        true, {}, std::chrono::seconds(10));
    const std::string link = (folder / "host-pty").string();
    relayThrough(
        "veltrane-cli monitor, pty",
        [&](BackgroundProgram& relay, SerialPair&, SerialPair& device) {
            return relay.start({cli, "monitor", "--host-port", "pty:" + link, "--device-port",
                                device.portName(), "-o", output, "--quiet"});
        },
        false, link, std::chrono::seconds(10));
    if (argc == 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        const fs::path devices = fs::path(prefix ? prefix : "") / "dosdevices";
        relayThrough(
            "veltrane-cli.exe monitor",
            [&](BackgroundProgram& relay, SerialPair& host, SerialPair& device) {
                std::error_code ignored;
                fs::remove(devices / "com5", ignored);
                fs::remove(devices / "com6", ignored);
                fs::create_symlink(host.devicePortName(), devices / "com5", ignored);
                fs::create_symlink(device.portName(), devices / "com6", ignored);
                return relay.start({argv[3], argv[2], "monitor", "--host-port", "COM5",
                                    "--device-port", "COM6", "-o", onDriveZ(folder / "wine.pcapng"),
                                    "--quiet"});
            },
            true, {}, std::chrono::seconds(30));
        std::error_code ignored;
        fs::remove(devices / "com5", ignored);
        fs::remove(devices / "com6", ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
