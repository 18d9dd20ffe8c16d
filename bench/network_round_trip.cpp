// What serving a port over the network adds to a poll's round trip, natively.
//
// 1. The recorded Modbus requests (RespondConversations.h) asked of veltrane-cli respond three
//    ways: on a pseudo-terminal it makes (pty:LINK), served as raw TCP (tcp-server:) and served
//    over RFC 2217 (rfc2217-server:). The host is this program, the same code for all three: it
//    times each answer's first byte against the request's end plus the recorded delay.
// 2. A device that echoes at once behind ser2net (raw TCP and RFC 2217), reached from a
//    pseudo-terminal through veltrane-cli monitor, and through socat doing the same; against the
//    device's own port as the baseline.
// Each line gives p50, p99 and max in ms; the added time is the difference to the first line of
// its part.
//
// Usage: bench_network_round_trip <veltrane-cli>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/BackgroundProgram.h"
#include "bench/RespondConversations.h"
#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "network/NetworkPort.h"
#include "network/NetworkPortName.h"
#include "network/TcpSocket.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr int kEchoPolls = 300;

std::uint16_t freePort() {
    TcpSocket probe;
    return probe.listen("127.0.0.1", 0) ? probe.localPort() : 0;
}

bool waitForPath(const fs::path& path) {
    for (int i = 0; i < 1000 && !fs::exists(path); ++i)
        std::this_thread::sleep_for(milliseconds(10));
    return fs::exists(path);
}

bool waitForListening(std::uint16_t port) {
    for (int i = 0; i < 1000; ++i) {
        TcpSocket probe;
        if (probe.connect("127.0.0.1", port, milliseconds(200))) return true;
        std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
}

// The host's end: a pseudo-terminal's slave, or a network port as its client.
std::unique_ptr<WaitablePort> openHost(const std::string& name) {
    if (!looksLikeNetworkPort(name)) {
        auto serial = std::make_unique<WaitableSerialPort>();
        if (!serial->open(name, 115200, 8, Parity::None, StopBits::One)) return nullptr;
        return serial;
    }
    std::string reason;
    const auto where = parseNetworkPortName(name, &reason);
    auto network = std::make_unique<NetworkPort>();
    DeviceSettings settings;
    settings.speed = 115200;
    if (!where || !network->open(name, *where, settings)) return nullptr;
    return network;
}

// Reads count bytes; the instant the first came, none when they did not all come in time.
std::optional<BenchClock::time_point> readAnswer(WaitablePort& port, Bytes& into,
                                                 std::size_t count) {
    into.clear();
    std::optional<BenchClock::time_point> first;
    const auto end = BenchClock::now() + std::chrono::seconds(2);
    WaitablePort* ports[1] = {&port};
    std::uint8_t buffer[512];
    while (into.size() < count && BenchClock::now() < end) {
        if (waitForInput(ports, milliseconds(20))[0] != PortInput::Ready) continue;
        std::uint32_t got = 0;
        if (!port.readAvailable(buffer, sizeof buffer, &got) || got == 0) continue;
        if (!first) first = BenchClock::now();
        into.insert(into.end(), buffer, buffer + got);
    }
    if (into.size() < count) return std::nullopt;
    return first;
}

// Asks each exchange's request and times its answer; the lateness of the right ones, in ms.
std::vector<double> ask(WaitablePort& port, const std::vector<Exchange>& exchanges) {
    std::vector<double> lateness;
    Bytes got;
    for (const Exchange& exchange : exchanges) {
        std::this_thread::sleep_for(milliseconds(5));
        std::uint32_t written = 0;
        if (!port.write(exchange.request.data(),
                        static_cast<std::uint32_t>(exchange.request.size()), &written))
            break;
        const auto sent = BenchClock::now();
        const auto first = readAnswer(port, got, exchange.answer.size());
        if (!first || got != exchange.answer) continue;
        lateness.push_back(std::chrono::duration<double, std::milli>(*first - sent).count() -
                           static_cast<double>(exchange.delayMicros) / 1000.0);
    }
    return lateness;
}

void printLine(const char* name, const std::vector<double>& values, std::size_t asked,
               double baselineP50, double baselineP99) {
    if (values.empty()) {
        std::printf("%-34s no answer came right\n", name);
        return;
    }
    const double p50 = percentile(values, 0.5);
    const double p99 = percentile(values, 0.99);
    std::printf("%-34s p50 %.3f  p99 %.3f  max %.3f ms  (%zu/%zu right)", name, p50, p99,
                *std::max_element(values.begin(), values.end()), values.size(), asked);
    if (baselineP50 >= 0)
        std::printf("  added p50 %+.3f, p99 %+.3f", p50 - baselineP50, p99 - baselineP99);
    std::printf("\n");
}

void respondThreeWays(const std::string& cli, const fs::path& folder) {
    std::printf("== a poll's round trip through veltrane-cli respond (recorded delay taken off)\n");
    const BenchConversation conversation = exactRequests();
    const fs::path recording = folder / "recorded.pcapng";
    if (!writeConversation(recording, conversation.recorded)) {
        std::printf("cannot write %s\n", recording.string().c_str());
        return;
    }
    const std::uint16_t raw = freePort();
    const std::uint16_t telnet = freePort();
    const fs::path link = folder / "respond-pty";
    const struct {
        const char* name;
        std::string served;
        std::string host;
    } ways[] = {
        {"pseudo-terminal (pty:LINK)", "pty:" + link.string(), link.string()},
        {"raw TCP (tcp-server:)", "tcp-server:" + std::to_string(raw),
         "tcp://127.0.0.1:" + std::to_string(raw)},
        {"RFC 2217 (rfc2217-server:)", "rfc2217-server:" + std::to_string(telnet),
         "rfc2217://127.0.0.1:" + std::to_string(telnet)},
    };
    double baseP50 = -1;
    double baseP99 = -1;
    for (const auto& way : ways) {
        BackgroundProgram respond;
        if (!respond.start({cli, "respond", recording.string(), "--port", way.served, "--baud",
                            "115200", "--quiet"})) {
            std::printf("%-34s could not start\n", way.name);
            continue;
        }
        const bool up = link.string() == way.host
                            ? waitForPath(link)
                            : waitForListening(static_cast<std::uint16_t>(
                                  std::stoi(way.host.substr(way.host.rfind(':') + 1))));
        std::unique_ptr<WaitablePort> host = up ? openHost(way.host) : nullptr;
        if (!host) {
            std::printf("%-34s cannot reach %s\n", way.name, way.host.c_str());
            continue;
        }
        std::this_thread::sleep_for(milliseconds(200));  // the greeting, if it came, is old news
        Bytes greeting;
        readAnswer(*host, greeting, kGreeting.size());
        const std::vector<double> lateness = ask(*host, conversation.asked);
        printLine(way.name, lateness, conversation.asked.size(), baseP50, baseP99);
        if (baseP50 < 0 && !lateness.empty()) {
            baseP50 = percentile(lateness, 0.5);
            baseP99 = percentile(lateness, 0.99);
        }
    }
}

// Echoes every byte on the port at once, until stopped.
class EchoDevice {
public:
    explicit EchoDevice(const std::string& path) {
        ok_ = port_.open(path, 115200, 8, Parity::None, StopBits::One);
        if (ok_) thread_ = std::thread([this] { run(); });
    }
    ~EchoDevice() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    bool ok() const { return ok_; }

private:
    void run() {
        WaitablePort* ports[1] = {&port_};
        std::uint8_t buffer[512];
        while (!stop_) {
            if (waitForInput(ports, milliseconds(20))[0] != PortInput::Ready) continue;
            std::uint32_t got = 0;
            std::uint32_t written = 0;
            if (port_.readAvailable(buffer, sizeof buffer, &got) && got > 0)
                port_.write(buffer, got, &written);
        }
    }
    WaitableSerialPort port_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::vector<Exchange> echoPolls() {
    std::vector<Exchange> polls;
    for (int i = 0; i < kEchoPolls; ++i) {
        Bytes poll = {'P', 'O', 'L', 'L', static_cast<std::uint8_t>('0' + i % 10), '\r', '\n'};
        polls.push_back({poll, poll, 0});
    }
    return polls;
}

void monitorBesideSocat(const std::string& cli, const fs::path& folder) {
    std::printf("== an echo's round trip from a pseudo-terminal to a device behind ser2net\n");
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::printf("no serial pair: %s\n", why.c_str());
        return;
    }
    EchoDevice device(pair.devicePortName());
    const std::uint16_t raw = freePort();
    const std::uint16_t telnet = freePort();
    const fs::path config = folder / "ser2net.yaml";
    // Without its character delay, ser2net passes each byte on at once, as the relays do.
    const std::string options = "\n  options:\n    chardelay: false\n";
    std::ofstream(config) << "%YAML 1.1\n---\nconnection: &telnet\n  accepter: telnet(rfc2217),tcp,"
                          << "127.0.0.1," << telnet << "\n  connector: serialdev,"
                          << pair.portName() << ",115200n81,local" << options
                          << "connection: &raw\n  accepter: tcp,127.0.0.1," << raw
                          << "\n  connector: serialdev," << pair.portName() << ",115200n81,local"
                          << options;
    BackgroundProgram ser2net;
    if (!device.ok() ||
        !ser2net.start({"ser2net", "-n", "-c", config.string(), "-P", (folder / "pid").string()}) ||
        !waitForListening(raw) || !waitForListening(telnet)) {
        std::printf("ser2net did not start: is it installed?\n");
        return;
    }
    const std::vector<Exchange> polls = echoPolls();
    double baseP50 = -1;
    double baseP99 = -1;
    {
        // The baseline: the line itself, without ser2net or a relay.
        SerialPair direct;
        EchoDevice echo(direct.start(&why) ? direct.devicePortName() : "");
        std::unique_ptr<WaitablePort> host = echo.ok() ? openHost(direct.portName()) : nullptr;
        const std::vector<double> lateness = host ? ask(*host, polls) : std::vector<double>{};
        printLine("the device's own line (socat pair)", lateness, polls.size(), -1, -1);
        if (!lateness.empty()) {
            baseP50 = percentile(lateness, 0.5);
            baseP99 = percentile(lateness, 0.99);
        }
    }
    const struct {
        const char* name;
        std::vector<std::string> relay;
    } ways[] = {
        {"socat pty <-> ser2net raw TCP",
         {"socat", "pty,raw,echo=0,link=" + (folder / "socat-pty").string(),
          "tcp:127.0.0.1:" + std::to_string(raw)}},
        {"monitor pty <-> ser2net tcp://",
         {cli, "monitor", "--host-port", "pty:" + (folder / "tcp-pty").string(), "--device-port",
          "tcp://127.0.0.1:" + std::to_string(raw), "-b", "115200", "-q", "-o",
          (folder / "tcp.pcapng").string()}},
        {"monitor pty <-> ser2net rfc2217://",
         {cli, "monitor", "--host-port", "pty:" + (folder / "rfc-pty").string(), "--device-port",
          "rfc2217://127.0.0.1:" + std::to_string(telnet), "-b", "115200", "-q", "-o",
          (folder / "rfc.pcapng").string()}},
    };
    for (const auto& way : ways) {
        const std::string link =
            way.relay[0] == "socat" ? (folder / "socat-pty").string() : way.relay[3].substr(4);
        BackgroundProgram relay;
        if (!relay.start(way.relay) || !waitForPath(link)) {
            std::printf("%-34s could not start\n", way.name);
            continue;
        }
        std::this_thread::sleep_for(milliseconds(1500));  // the relay has connected
        std::unique_ptr<WaitablePort> host = openHost(link);
        const std::vector<double> lateness = host ? ask(*host, polls) : std::vector<double>{};
        host.reset();
        relay.stop();
        printLine(way.name, lateness, polls.size(), baseP50, baseP99);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <veltrane-cli>\n", argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("network-round-trip");
    respondThreeWays(argv[1], folder);
    monitorBesideSocat(argv[1], folder);
    fs::remove_all(folder);
    return 0;
}
