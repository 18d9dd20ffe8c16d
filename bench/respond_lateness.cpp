// How well veltrane-cli respond stands in for a device: a generated conversation (a device that
// says it is ready, then several hundred Modbus RTU requests, each answered after its own delay of
// 1 to 15 ms, some answers in two bursts) is answered natively and, when given, under Wine. This
// program plays the host on the far end of a pseudo-terminal pair: it sends each request, times
// the answer's first byte and checks every byte. It prints, per run, how much later than recorded
// the answers came at the far end (the line's own way there and back included) and what the
// command's own report says of its writes against their due instants.
//
// Usage: bench_respond_lateness <veltrane-cli> [<veltrane-cli.exe> <wine loader>]  (WINEPREFIX
// set for the Windows program)
#include <poll.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "bench/BackgroundProgram.h"
#include "bench/BenchSupport.h"
#include "bench/CliBenchSupport.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kExchanges = 300;
const Bytes kReady = {'R', 'E', 'A', 'D', 'Y'};

struct Exchange {
    Bytes request;
    Bytes answer;
    std::uint64_t delayMicros;  // from the request's end to the answer's first burst
};

std::vector<Exchange> planExchanges() {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delay(1000, 15000), registers(1, 8), first(0, 40);
    std::vector<Exchange> exchanges;
    for (int i = 0; i < kExchanges; ++i) {
        const auto start = static_cast<std::uint16_t>(first(random));
        const auto count = static_cast<std::uint16_t>(registers(random));
        std::vector<std::uint16_t> values(count);
        for (std::uint16_t k = 0; k < count; ++k)
            values[k] = static_cast<std::uint16_t>(i * 16 + k);
        exchanges.push_back({modbus_rtu::readHoldingRegistersQuery(1, start, count),
                             modbus_rtu::readHoldingRegistersResponse(1, values),
                             static_cast<std::uint64_t>(delay(random))});
    }
    return exchanges;
}

// Every fifth answer comes in two bursts a millisecond apart, as a slow device's often do.
bool writeConversation(const fs::path& path, const std::vector<Exchange>& exchanges) {
    ConversationWriter writer;
    if (writer.open(path.string(), {"bench", "COM1 <-> COM2", "115200 8N1"}).happened())
        return false;
    std::uint64_t now = 1'800'000'000'000'000;
    bool written = !writer.write({now, Direction::Device, 0, kReady}).happened();
    for (std::size_t i = 0; written && i < exchanges.size(); ++i) {
        const Exchange& exchange = exchanges[i];
        now += 30'000;
        written = !writer.write({now, Direction::Host, 0, exchange.request}).happened();
        now += exchange.delayMicros;
        const std::span<const std::uint8_t> answer(exchange.answer);
        const std::size_t split = i % 5 == 0 ? answer.size() / 2 : answer.size();
        written =
            written && !writer.write({now, Direction::Device, 0, answer.first(split)}).happened();
        if (split < answer.size()) {
            now += 1000;
            written = written &&
                      !writer.write({now, Direction::Device, 0, answer.subspan(split)}).happened();
        }
    }
    return !writer.close().happened() && written;
}

// Reads count bytes into `into`; the instant the first came. Nothing when they did not all come.
std::optional<BenchClock::time_point> readAnswer(int fd, Bytes& into, std::size_t count,
                                                 std::chrono::milliseconds limit) {
    into.clear();
    std::optional<BenchClock::time_point> first;
    const auto end = BenchClock::now() + limit;
    std::uint8_t buffer[512];
    while (into.size() < count && BenchClock::now() < end) {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 20) <= 0) continue;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) continue;
        if (!first) first = BenchClock::now();
        into.insert(into.end(), buffer, buffer + n);
    }
    if (into.size() < count) return std::nullopt;
    return first;
}

struct Run {
    std::string name;
    std::vector<std::string> command;
    fs::path report;
    std::chrono::seconds startLimit;
    // How long it may go on after the host is done before it is interrupted: under Wine its
    // --duration ends it, as a signal from this side may not reach it as Ctrl+C.
    std::chrono::seconds runOut;
};

// Plays the host against one run of respond and prints its line.
void measure(const Run& run, const std::string& hostPort, const std::vector<Exchange>& exchanges) {
    const int fd = openRawTerminal(hostPort);
    if (fd < 0) {
        std::printf("%-22s cannot open %s\n", run.name.c_str(), hostPort.c_str());
        return;
    }
    tcflush(fd, TCIOFLUSH);
    BackgroundProgram responder;
    if (!responder.start(run.command)) {
        std::printf("%-22s could not start\n", run.name.c_str());
        ::close(fd);
        return;
    }
    Bytes got;
    std::vector<double> lateness;
    double recordedTotal = 0, gotTotal = 0;
    int wrong = 0;
    if (readAnswer(fd, got, kReady.size(), run.startLimit) && got == kReady) {
        for (const Exchange& exchange : exchanges) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (::write(fd, exchange.request.data(), exchange.request.size()) !=
                static_cast<ssize_t>(exchange.request.size())) {
                break;
            }
            const auto sent = BenchClock::now();
            const auto first = readAnswer(fd, got, exchange.answer.size(), std::chrono::seconds(2));
            if (!first || got != exchange.answer) {
                ++wrong;
                continue;
            }
            const double delay = std::chrono::duration<double, std::milli>(*first - sent).count();
            lateness.push_back(delay - static_cast<double>(exchange.delayMicros) / 1000.0);
            recordedTotal += static_cast<double>(exchange.delayMicros) / 1000.0;
            gotTotal += delay;
        }
    }
    ::close(fd);
    responder.stop(run.runOut);
    if (lateness.empty()) {
        std::printf("%-22s no answer came\n", run.name.c_str());
        return;
    }
    std::printf("%-22s %5zu/%d %8.3f %8.3f %8.3f %9.4f", run.name.c_str(), lateness.size(),
                kExchanges, percentile(lateness, 0.5), percentile(lateness, 0.99),
                *std::max_element(lateness.begin(), lateness.end()), gotTotal / recordedTotal);
    if (const auto own =
            reportNumbers(run.report, {"answer_lateness_p50_ms", "answer_lateness_p99_ms",
                                       "answer_lateness_max_ms", "answered_in_order"})) {
        std::printf("   %8.3f %8.3f %8.3f %6.0f", (*own)[0], (*own)[1], (*own)[2], (*own)[3]);
    } else {
        std::printf("   (no report)");
    }
    if (wrong) std::printf("  %d answers wrong or missing", wrong);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
                     argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("respond-lateness");
    const std::vector<Exchange> exchanges = planExchanges();
    const fs::path recording = folder / "device.pcapng";
    if (!writeConversation(recording, exchanges)) {
        std::fprintf(stderr, "cannot write %s\n", recording.c_str());
        return 1;
    }
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    std::vector<Run> runs = {
        {"veltrane-cli",
         {argv[1], "respond", recording.string(), "--port", pair.devicePortName(), "--baud",
          "115200", "--quiet", "--report", (folder / "native.json").string()},
         folder / "native.json",
         std::chrono::seconds(5),
         std::chrono::seconds(0)}};
    fs::path comLink;
    if (argc == 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        comLink = fs::path(prefix ? prefix : "") / "dosdevices" / "com6";
        std::error_code ignored;
        fs::remove(comLink, ignored);
        fs::create_symlink(pair.devicePortName(), comLink, ignored);
        runs.push_back(
            {"veltrane-cli.exe",
             {argv[3], argv[2], "respond", onDriveZ(recording), "--port", "COM6", "--baud",
              "115200", "--quiet", "--duration", "40", "--report", onDriveZ(folder / "wine.json")},
             folder / "wine.json",
             std::chrono::seconds(30),
             std::chrono::seconds(60)});
    }
    std::printf("%d requests answered after 1 to 15 ms as recorded; lateness in ms\n\n",
                kExchanges);
    std::printf("%-22s %11s %8s %8s %8s %9s   %-35s\n", "", "", "far end", "", "", "delay",
                "the command's own report");
    std::printf("%-22s %11s %8s %8s %8s %9s   %8s %8s %8s %6s\n", "responder", "answered", "p50",
                "p99", "max", "got/rec", "p50", "p99", "max", "order");
    for (const Run& run : runs) measure(run, pair.portName(), exchanges);
    if (!comLink.empty()) {
        std::error_code ignored;
        fs::remove(comLink, ignored);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
