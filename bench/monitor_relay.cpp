// What sitting between a program and its device costs. The program and the device are this
// benchmark's own ends of pseudo-terminal pairs; in between sits nothing (the program on the
// device's own pair: the floor), socat bridging two pairs (the yardstick), veltrane-cli monitor
// bridging the same two pairs natively, the same with its own pseudo-terminal as the program's
// side, and, when given, veltrane-cli.exe under Wine on two mapped COM ports. For each:
// - a byte's journey: small messages one at a time, each way in turn, from the write at one end
//   to the read at the other, and what that adds to the floor. All of them run at once and each
//   message goes through each of them in turn, so that on a busy machine each sees the same
//   load: timed minutes apart, one would see a quiet spell and another a busy one;
// - both directions streaming at once for a minute (unless told otherwise) at 1 MB/s each way,
//   ten times what a 921600-baud line carries: every byte must arrive, in order, and the
//   monitor's file must hold them all, each way. A pseudo-terminal pair has no line speed: an
//   unpaced stream runs at whatever the slowest relay in the chain takes, and the pairs' own
//   single-threaded socat relays then block each other once any queue between them is full.
//
// Usage: bench_monitor_relay [--stream-seconds N] <veltrane-cli> [<veltrane-cli.exe> <wine loader>]
// (WINEPREFIX set for the Windows program)
#include <poll.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "bench/BackgroundProgram.h"
#include "bench/BenchSupport.h"
#include "bench/CliBenchSupport.h"
#include "conversation/ConversationReader.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;

constexpr int kJourneys = 400;
constexpr std::size_t kMessageBytes = 8;
constexpr std::uint64_t kStreamBytesPerSecond = 1'000'000;

// The two ends the benchmark holds, closed at the end.
struct Ends {
    int host = -1;
    int device = -1;
    ~Ends() {
        if (host >= 0) ::close(host);
        if (device >= 0) ::close(device);
    }
};

// False on a failed write, or once giveUp has passed with bytes still unwritten.
bool writeAll(int fd, const std::uint8_t* bytes, std::size_t count,
              BenchClock::time_point giveUp = BenchClock::time_point::max()) {
    std::size_t done = 0;
    while (done < count) {
        if (BenchClock::now() > giveUp) return false;
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN) return false;
        pollfd wait{fd, POLLOUT, 0};
        poll(&wait, 1, 100);
    }
    return true;
}

// Reads exactly count bytes within the limit; the instant the last came, or nothing.
std::optional<BenchClock::time_point> readExactly(int fd, std::uint8_t* into, std::size_t count,
                                                  std::chrono::milliseconds limit) {
    const auto end = BenchClock::now() + limit;
    std::size_t got = 0;
    while (got < count) {
        if (BenchClock::now() > end) return std::nullopt;
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 20) <= 0) continue;
        const ssize_t n = ::read(fd, into + got, count - got);
        if (n > 0) got += static_cast<std::size_t>(n);
    }
    return BenchClock::now();
}

void drain(int fd) {
    std::uint8_t buffer[4096];
    pollfd wait{fd, POLLIN, 0};
    while (poll(&wait, 1, 300) > 0 && ::read(fd, buffer, sizeof buffer) > 0) {
    }
}

// Waits (up to the limit) until a byte passes from the program's end to the device's and back,
// then clears what the probing left.
bool waitUntilPassing(const std::string& hostPath, int deviceFd, Ends& ends,
                      std::chrono::seconds limit) {
    const auto giveUp = BenchClock::now() + limit;
    while (ends.host < 0 && BenchClock::now() < giveUp) {
        ends.host = openRawTerminal(hostPath);
        if (ends.host < 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ends.device = deviceFd;
    if (ends.host < 0 || deviceFd < 0) return false;
    std::uint8_t probe = 0xA5;
    bool there = false, back = false;
    while (!(there && back) && BenchClock::now() < giveUp) {
        if (!there) {
            there = writeAll(ends.host, &probe, 1) &&
                    readExactly(ends.device, &probe, 1, std::chrono::milliseconds(200));
        } else {
            back = writeAll(ends.device, &probe, 1) &&
                   readExactly(ends.host, &probe, 1, std::chrono::milliseconds(200));
        }
    }
    drain(ends.host);
    drain(ends.device);
    return there && back;
}

struct Journeys {
    bool complete = false;
    double p50 = 0, p99 = 0, max = 0;
};

// Message i's way from one end to the other (host to device for even i), in milliseconds; none
// when it was lost or changed.
std::optional<double> timeJourney(const Ends& ends, int i) {
    std::uint8_t message[kMessageBytes], got[kMessageBytes];
    const bool toDevice = i % 2 == 0;
    const int from = toDevice ? ends.host : ends.device, to = toDevice ? ends.device : ends.host;
    for (std::size_t k = 0; k < kMessageBytes; ++k) message[k] = static_cast<std::uint8_t>(i + k);
    const auto sent = BenchClock::now();
    if (!writeAll(from, message, sizeof message)) return std::nullopt;
    const auto arrived = readExactly(to, got, sizeof got, std::chrono::seconds(2));
    if (!arrived || std::memcmp(message, got, sizeof got) != 0) return std::nullopt;
    return std::chrono::duration<double, std::milli>(*arrived - sent).count();
}

// Each message through each of the ways in turn; one result per way, in their order. A way that
// lost a message is left out of the rest.
std::vector<Journeys> timeJourneysInTurn(const std::vector<const Ends*>& ways) {
    std::vector<std::vector<double>> times(ways.size());
    std::vector<bool> lost(ways.size(), false);
    for (int i = 0; i < kJourneys; ++i) {
        for (std::size_t w = 0; w < ways.size(); ++w) {
            if (lost[w]) continue;
            const std::optional<double> time = timeJourney(*ways[w], i);
            if (time) {
                times[w].push_back(*time);
            } else {
                lost[w] = true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    std::vector<Journeys> results(ways.size());
    for (std::size_t w = 0; w < ways.size(); ++w) {
        if (lost[w]) continue;
        results[w].complete = true;
        results[w].p50 = percentile(times[w], 0.50);
        results[w].p99 = percentile(times[w], 0.99);
        results[w].max = *std::max_element(times[w].begin(), times[w].end());
    }
    return results;
}

// One direction of the flat-out stream: a byte's value follows from its place, so the reader
// knows each one it should get.
std::uint8_t streamByte(std::uint64_t index, int direction) {
    return static_cast<std::uint8_t>(index * 7 + index / 251 + direction);
}

struct Stream {
    std::uint64_t sent = 0;
    std::uint64_t received = 0;
    bool inOrder = true;
    bool stalled = false;  // the writer could not get rid of its bytes
};

void streamOut(int fd, int direction, std::chrono::seconds length, Stream& stream) {
    std::uint8_t block[4096];
    const auto start = BenchClock::now();
    const auto end = start + length;
    while (BenchClock::now() < end) {
        // Block k leaves when the rate allows it, never earlier.
        const auto due =
            start + std::chrono::microseconds(stream.sent * 1'000'000 / kStreamBytesPerSecond);
        std::this_thread::sleep_until(due);
        for (std::size_t k = 0; k < sizeof block; ++k)
            block[k] = streamByte(stream.sent + k, direction);
        // A relay that stopped taking bytes must not hold the benchmark up for ever.
        if (!writeAll(fd, block, sizeof block, end + std::chrono::seconds(5))) {
            stream.stalled = true;
            return;
        }
        stream.sent += sizeof block;
    }
}

void streamIn(int fd, int direction, const std::atomic<bool>& writersDone, Stream& stream) {
    std::uint8_t block[4096];
    auto quietSince = BenchClock::now();
    while (!writersDone || BenchClock::now() - quietSince < std::chrono::seconds(2)) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 50) <= 0) continue;
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n <= 0) continue;
        for (ssize_t k = 0; k < n; ++k) {
            if (block[k] != streamByte(stream.received + static_cast<std::uint64_t>(k), direction))
                stream.inOrder = false;
        }
        stream.received += static_cast<std::uint64_t>(n);
        quietSince = BenchClock::now();
    }
}

struct Streams {
    Stream toDevice, toHost;
    double seconds = 0;
};

Streams streamBothWays(const Ends& ends, std::chrono::seconds length) {
    Streams streams;
    std::atomic<bool> writersDone{false};
    const auto start = BenchClock::now();
    std::thread inDevice([&] { streamIn(ends.device, 0, writersDone, streams.toDevice); });
    std::thread inHost([&] { streamIn(ends.host, 1, writersDone, streams.toHost); });
    std::thread outHost([&] { streamOut(ends.host, 0, length, streams.toDevice); });
    streamOut(ends.device, 1, length, streams.toHost);
    outHost.join();
    streams.seconds = std::chrono::duration<double>(BenchClock::now() - start).count();
    writersDone = true;
    inDevice.join();
    inHost.join();
    return streams;
}

// The bytes a conversation file holds each way: host, device.
std::optional<std::pair<std::uint64_t, std::uint64_t>> bytesInFile(const fs::path& path) {
    ConversationReader reader;
    if (reader.open(path.string()).happened()) return std::nullopt;
    std::pair<std::uint64_t, std::uint64_t> bytes{0, 0};
    ConversationBurst burst;
    while (reader.next(burst))
        (burst.direction == Direction::Host ? bytes.first : bytes.second) += burst.bytes.size();
    if (reader.failure().happened()) return std::nullopt;
    return bytes;
}

struct Relay {
    std::string name;
    // Starts it between the program's pair and the device's; false when it cannot.
    std::function<bool(BackgroundProgram&, const SerialPair& host, const SerialPair& device)> start;
    std::string hostLink;  // the program's end when the relay makes it, else the pair's
    fs::path file;         // where the relay writes the conversation; none for socat
    std::chrono::seconds startLimit;
};

// One way from the program's end to the device's, passing bytes: the floor's single pair, or a
// relay between two pairs.
struct Way {
    std::string name;
    SerialPair hostPair, devicePair;  // the floor uses only the first
    BackgroundProgram program;        // none for the floor
    Ends ends;
    fs::path file;
    Journeys journeys;
    bool floor = false;
};

class Bench {
public:
    explicit Bench(std::chrono::seconds streamLength) : streamLength_(streamLength) {}

    void startFloor() {
        auto way = std::make_unique<Way>();
        way->name = "none (one pair)";
        way->floor = true;
        std::string why;
        if (!way->hostPair.start(&why) ||
            !waitUntilPassing(way->hostPair.portName(),
                              openRawTerminal(way->hostPair.devicePortName()), way->ends,
                              std::chrono::seconds(5))) {
            std::printf("%-26s no pair: %s\n", way->name.c_str(), why.c_str());
            return;
        }
        ways_.push_back(std::move(way));
    }

    void start(const Relay& relay) {
        auto way = std::make_unique<Way>();
        way->name = relay.name;
        way->file = relay.file;
        std::string why;
        if (!way->hostPair.start(&why) || !way->devicePair.start(&why)) {
            std::printf("%-26s no pair: %s\n", relay.name.c_str(), why.c_str());
            return;
        }
        const int device = openRawTerminal(way->devicePair.devicePortName());
        if (!relay.start(way->program, way->hostPair, way->devicePair)) {
            std::printf("%-26s could not start\n", relay.name.c_str());
            if (device >= 0) ::close(device);
            return;
        }
        const std::string hostPath =
            relay.hostLink.empty() ? way->hostPair.portName() : relay.hostLink;
        if (!waitUntilPassing(hostPath, device, way->ends, relay.startLimit)) {
            std::printf("%-26s passed nothing within %lld s\n", relay.name.c_str(),
                        static_cast<long long>(relay.startLimit.count()));
            return;
        }
        ways_.push_back(std::move(way));
    }

    // The journeys through all ways in turn, then each way's stream on its own while the others
    // sit idle; a relay ends after its stream, so that its file is whole.
    void run() {
        std::vector<const Ends*> ends;
        for (const auto& way : ways_) ends.push_back(&way->ends);
        const std::vector<Journeys> journeys = timeJourneysInTurn(ends);
        for (std::size_t w = 0; w < ways_.size(); ++w) {
            ways_[w]->journeys = journeys[w];
            if (!journeys[w].complete) continue;
            if (ways_[w]->floor) floor_ = journeys[w];
            if (ways_[w]->name == "socat") socat_ = journeys[w];
        }
        for (const auto& way : ways_) printJourneys(*way);
        std::printf("\n");
        for (const auto& way : ways_) {
            const Streams streams = streamBothWays(way->ends, streamLength_);
            way->program.stop();
            printStreams(way->name, streams, way->file);
        }
    }

private:
    void printJourneys(const Way& way) {
        const std::string& name = way.name;
        const Journeys& journeys = way.journeys;
        if (!journeys.complete) {
            std::printf("%-26s lost or changed a message\n", name.c_str());
            return;
        }
        std::printf("%-26s %8.3f %8.3f %8.3f", name.c_str(), journeys.p50, journeys.p99,
                    journeys.max);
        if (floor_ && !way.floor) {
            const double p99 = journeys.p99 - floor_->p99, max = journeys.max - floor_->max;
            std::printf(" %+9.3f %+9.3f", p99, max);
            if (socat_ && name != "socat") {
                std::printf("   socat %+.3f %+.3f", socat_->p99 - floor_->p99,
                            socat_->max - floor_->max);
            }
        }
        std::printf("\n");
    }

    void printStreams(const std::string& name, const Streams& streams, const fs::path& file) {
        const auto rate = [&](const Stream& stream) {
            return static_cast<double>(stream.received) / streams.seconds / 1e6;
        };
        const bool whole = streams.toDevice.received == streams.toDevice.sent &&
                           streams.toHost.received == streams.toHost.sent &&
                           streams.toDevice.inOrder && streams.toHost.inOrder;
        std::printf("%-26s streaming %.0f s: %.2f MB/s to the device, %.2f MB/s back, %s",
                    name.c_str(), streams.seconds, rate(streams.toDevice), rate(streams.toHost),
                    streams.toDevice.stalled || streams.toHost.stalled
                        ? "STALLED: a writer could not write for 5 s"
                    : whole ? "every byte in order"
                            : "BYTES LOST OR OUT OF ORDER");
        if (!file.empty()) {
            // The journeys' and the probes' bytes are in the file too.
            const auto held = bytesInFile(file);
            const std::uint64_t journeyBytes = kJourneys / 2 * kMessageBytes;
            if (!held) {
                std::printf(", the file cannot be read");
            } else {
                const bool all = held->first >= streams.toDevice.sent + journeyBytes &&
                                 held->second >= streams.toHost.sent + journeyBytes;
                std::printf(", the file %s (%llu and %llu bytes)",
                            all ? "holds them all" : "MISSES SOME",
                            static_cast<unsigned long long>(held->first),
                            static_cast<unsigned long long>(held->second));
            }
            std::error_code ignored;
            fs::remove(file, ignored);
        }
        std::printf("\n");
    }

    std::chrono::seconds streamLength_;
    std::vector<std::unique_ptr<Way>> ways_;
    std::optional<Journeys> floor_, socat_;
};

}  // namespace

int main(int argc, char** argv) {
    // Each line as it is done: a run takes minutes.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::chrono::seconds streamLength(60);
    std::vector<std::string> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--stream-seconds") == 0 && i + 1 < argc) {
            streamLength = std::chrono::seconds(std::atoi(argv[++i]));
        } else {
            programs.emplace_back(argv[i]);
        }
    }
    if (programs.size() != 1 && programs.size() != 3) {
        std::fprintf(
            stderr,
            "usage: %s [--stream-seconds N] <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
            argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("monitor-relay");
    std::printf(
        "%d messages of %zu bytes, each way in turn and each through every way in turn; then "
        "both ways at once at 1 MB/s each, one way after the other\n\n",
        kJourneys, kMessageBytes);
    std::printf("%-26s %8s %8s %8s %9s %9s\n", "between program and device", "p50 ms", "p99 ms",
                "max ms", "added p99", "added max");
    Bench bench(streamLength);
    bench.startFloor();
    const std::string cli = programs[0];
    std::vector<Relay> relays = {
        {"socat",
         [](BackgroundProgram& relay, const SerialPair& host, const SerialPair& device) {
             return relay.start({"socat", "-b", "65536", host.devicePortName() + ",raw,echo=0",
                                 device.portName() + ",raw,echo=0"});
         },
         {},
         {},
         std::chrono::seconds(5)},
        {"veltrane-cli monitor",
         [&](BackgroundProgram& relay, const SerialPair& host, const SerialPair& device) {
             return relay.start({cli, "monitor", "--host-port", host.devicePortName(),
                                 "--device-port", device.portName(), "-o",
                                 (folder / "native.pcapng").string(), "--quiet"});
         },
         {},
         folder / "native.pcapng",
         std::chrono::seconds(10)},
        {"veltrane-cli monitor, pty",
         [&](BackgroundProgram& relay, const SerialPair&, const SerialPair& device) {
             return relay.start({cli, "monitor", "--host-port", "pty:" + (folder / "pty").string(),
                                 "--device-port", device.portName(), "-o",
                                 (folder / "pty.pcapng").string(), "--quiet"});
         },
         (folder / "pty").string(), folder / "pty.pcapng", std::chrono::seconds(10)},
    };
    fs::path devices;
    if (programs.size() == 3) {
        const char* prefix = std::getenv("WINEPREFIX");
        devices = fs::path(prefix ? prefix : "") / "dosdevices";
        relays.push_back(
            {"veltrane-cli.exe monitor",
             [&](BackgroundProgram& relay, const SerialPair& host, const SerialPair& device) {
                 std::error_code ignored;
                 fs::remove(devices / "com5", ignored);
                 fs::remove(devices / "com6", ignored);
                 fs::create_symlink(host.devicePortName(), devices / "com5", ignored);
                 fs::create_symlink(device.portName(), devices / "com6", ignored);
                 return relay.start({programs[2], programs[1], "monitor", "--host-port", "COM5",
                                     "--device-port", "COM6", "-o",
                                     onDriveZ(folder / "wine.pcapng"), "--quiet"});
             },
             {},
             folder / "wine.pcapng",
             std::chrono::seconds(30)});
    }
    for (const Relay& relay : relays) bench.start(relay);
    bench.run();
    if (!devices.empty()) {
        std::error_code ignored;
        fs::remove(devices / "com5", ignored);
        fs::remove(devices / "com6", ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
