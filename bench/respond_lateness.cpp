// How well veltrane-cli respond stands in for a device. Three generated conversations, each
// opened by a device that says it is ready (RespondConversations.h): the recorded Modbus requests
// asked again byte for byte; a learned Modbus slave (--modbus) asked reads, writes and addresses
// it never was; and a counter protocol answered by rules (--rules) for counters never recorded.
// Each is answered natively and, when given, under Wine. This program plays the host on the far
// end of a pseudo-terminal pair: it sends each request, times the answer's first byte against
// its expected instant (request end + recorded or learned delay) and checks every byte. It
// prints, per run, how much later than expected the answers came at the far end (the line's own
// way there and back included) and what the command's own report says of its writes against
// their due instants and of who answered.
//
// Then the recorded requests are replayed by umockdev-run from a script of the same conversation
// and by veltrane-cli respond, the same host (this program, as a process of its own) timing both;
// and last, the peak memory of learning a Modbus slave from a 1 GiB conversation.
//
// Usage: bench_respond_lateness <veltrane-cli> [<veltrane-cli.exe> <wine loader>]  (WINEPREFIX
//        set for the Windows program)
//        bench_respond_lateness --host PORT RESULTS [--no-greeting]: only the host, playing the
//        recorded requests on PORT after the device's greeting (at once with --no-greeting);
//        writes "listening" into RESULTS once PORT is open, then a line per answer (its lateness
//        in ms, "-" when not right) and "came N"
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "bench/BackgroundProgram.h"
#include "bench/CliBenchSupport.h"
#include "bench/ModbusLearningMemory.h"
#include "bench/RespondConversations.h"
#include "bench/UmockdevScript.h"
#include "tests/support/SerialPair.h"

namespace {

namespace fs = std::filesystem;

struct Responder {
    std::string name;
    std::vector<std::string> program;  // the command, under Wine with its loader first
    std::string port;
    std::function<std::string(const fs::path&)> pathOf;  // a file as the program names it
    std::vector<std::string> ending;                     // options that end it by themselves
    std::chrono::seconds startLimit;
    // How long it may go on after the host is done before it is interrupted: under Wine its
    // --duration ends it, as a signal from this side may not reach it as Ctrl+C.
    std::chrono::seconds runOut;
};

// The files of one conversation's run.
struct RunFiles {
    fs::path recording, rules, report;
};

std::vector<std::string> respondCommand(const Responder& responder,
                                        const BenchConversation& conversation,
                                        const RunFiles& files) {
    std::vector<std::string> command = responder.program;
    for (const std::string& word :
         {std::string("respond"), responder.pathOf(files.recording), std::string("--port"),
          responder.port, std::string("--baud"), std::string("115200"), std::string("--quiet"),
          std::string("--report"), responder.pathOf(files.report)})
        command.push_back(word);
    if (conversation.modbus) command.push_back("--modbus");
    if (!conversation.rules.empty()) {
        command.push_back("--rules");
        command.push_back(responder.pathOf(files.rules));
    }
    command.insert(command.end(), responder.ending.begin(), responder.ending.end());
    return command;
}

bool writeText(const fs::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

// Plays the host against one run of respond and prints its line.
void measure(const Responder& responder, const BenchConversation& conversation,
             const RunFiles& files, const std::string& hostPort) {
    const std::string name = std::string(conversation.name) + ", " + responder.name;
    const int fd = openRawTerminal(hostPort);
    if (fd < 0) {
        std::printf("%-22s cannot open %s\n", name.c_str(), hostPort.c_str());
        return;
    }
    tcflush(fd, TCIOFLUSH);
    BackgroundProgram respond;
    if (!respond.start(respondCommand(responder, conversation, files))) {
        std::printf("%-22s could not start\n", name.c_str());
        ::close(fd);
        return;
    }
    const HostRun run = playHost(fd, conversation.asked, responder.startLimit);
    ::close(fd);
    respond.stop(responder.runOut);
    const std::vector<double> lateness = answered(run.lateness);
    if (lateness.empty()) {
        std::printf("%-22s no answer came right\n", name.c_str());
        return;
    }
    double expectedTotal = 0, gotTotal = 0;
    for (std::size_t i = 0; i < run.lateness.size(); ++i) {
        if (!run.lateness[i]) continue;
        const double expected = static_cast<double>(conversation.asked[i].delayMicros) / 1000.0;
        expectedTotal += expected;
        gotTotal += expected + *run.lateness[i];
    }
    const Spread far = spreadOf(lateness);
    std::printf("%-22s %5zu/%zu %8.3f %8.3f %8.3f %9.4f", name.c_str(), lateness.size(),
                conversation.asked.size(), far.p50, far.p99, far.max, gotTotal / expectedTotal);
    if (const auto own =
            reportNumbers(files.report, {"answer_lateness_p50_ms", "answer_lateness_p99_ms",
                                         "answer_lateness_max_ms", conversation.answeredKey})) {
        std::printf("   %8.3f %8.3f %8.3f %6.0f %s", (*own)[0], (*own)[1], (*own)[2], (*own)[3],
                    conversation.answeredKey);
    } else {
        std::printf("   (no report)");
    }
    if (lateness.size() < conversation.asked.size())
        std::printf("  %zu answers wrong or missing", conversation.asked.size() - lateness.size());
    std::printf("\n");
}

// The host as a process of its own (--host), so that umockdev-run can run it in its testbed.
int hostAlone(const std::string& port, const fs::path& results, bool greeting) {
    std::ofstream out(results);
    const int fd = openRawTerminal(port);  // under umockdev a socket: its settings do not apply
    if (fd < 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", port.c_str(), std::strerror(errno));
        return 1;
    }
    tcflush(fd, TCIOFLUSH);
    out << "listening" << std::endl;
    const HostRun run =
        playHost(fd, exactRequests().asked, std::chrono::seconds(greeting ? 10 : 0));
    ::close(fd);
    if (!run.greeted) out << "no-greeting\n";
    for (const std::optional<double>& each : run.lateness) {
        if (each)
            out << *each << "\n";
        else
            out << "-\n";
    }
    out << "came " << run.came << "\n";
    return 0;
}

// What hostAlone wrote; not greeted when it never finished.
HostRun readHostRun(const fs::path& results) {
    HostRun run;
    std::ifstream in(results);
    std::string word;
    while (in >> word) {
        if (word == "listening") continue;
        if (word == "no-greeting") return run;
        if (word == "came") {
            run.greeted = static_cast<bool>(in >> run.came);
            break;
        }
        run.lateness.push_back(word == "-" ? std::nullopt : std::optional(std::stod(word)));
    }
    return run;
}

bool waitForListening(const fs::path& results, std::chrono::seconds limit) {
    const auto end = BenchClock::now() + limit;
    while (BenchClock::now() < end) {
        std::ifstream in(results);
        std::string word;
        if (in >> word && word == "listening") return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

void printDistance(const char* name, const HostRun& run, std::size_t asked) {
    if (!run.greeted) {
        std::printf("%-22s the greeting never came, or the host never finished\n", name);
        return;
    }
    std::vector<double> distance = answered(run.lateness);
    for (double& each : distance) each = std::fabs(each);
    const Spread spread = spreadOf(distance);
    std::printf("%-22s %5zu %5zu/%zu %8.3f %8.3f %8.3f\n", name, run.came, distance.size(), asked,
                spread.p50, spread.p99, spread.max);
    // Answers recorded in two bursts apart (every fifth): whether the first burst reaches the
    // program before the second one is written shows in these.
    std::vector<double> twoBursts, oneBurst;
    for (std::size_t i = 0; i < run.lateness.size(); ++i) {
        if (run.lateness[i]) (i % 5 == 0 ? twoBursts : oneBurst).push_back(*run.lateness[i]);
    }
    const Spread two = spreadOf(twoBursts), one = spreadOf(oneBurst);
    std::printf(
        "%-22s signed, answers in one burst %.3f / %.3f / %.3f, in two %.3f / %.3f / %.3f\n", "",
        one.p50, one.p99, one.max, two.p50, two.p99, two.max);
}

// The recorded requests replayed by umockdev-run and by veltrane-cli respond, the same host
// process timing both.
void compareWithUmockdev(const std::string& self, const std::string& cli, const fs::path& folder) {
    const BenchConversation conversation = exactRequests();
    const RunFiles files{folder / "recorded.pcapng", {}, folder / "beside-umockdev.json"};
    const fs::path description = folder / "ttyUSB0.umockdev", script = folder / "ttyUSB0.script";
    if (!writeConversation(files.recording, conversation.recorded) ||
        !writeText(description, umockdevTtyDescription()) ||
        !writeText(script, umockdevScript(conversation.recorded))) {
        std::printf("cannot write the files for the comparison\n");
        return;
    }
    std::printf(
        "\nThe recorded requests replayed, the same host process timing both; "
        "|first byte - (request end + recorded delay)| in ms\n");
    std::printf(
        "(umockdev's script holds whole milliseconds: its own rounding is up to 0.5 ms)\n\n");
    std::printf("%-22s %5s %11s %8s %8s %8s\n", "replayer", "came", "right", "p50", "p99", "max");

    const fs::path umockdevResults = folder / "umockdev-host.txt";
    BackgroundProgram umockdev;
    if (!umockdev.start({"umockdev-run", "--device", description.string(), "--script",
                         std::string(kUmockdevPort) + "=" + script.string(), "--", self, "--host",
                         kUmockdevPort, umockdevResults.string(), "--no-greeting"})) {
        std::printf("%-22s cannot be started: is umockdev installed?\n", "umockdev-run");
    } else {
        umockdev.stop(std::chrono::seconds(120));
        printDistance("umockdev-run", readHostRun(umockdevResults), conversation.asked.size());
    }

    // As umockdev-run gives the program a terminal of its own making, so does respond here
    // (pty:LINK): one pseudo-terminal between them, not a socat pair's two.
    const fs::path link = folder / "respond-pty";
    const Responder native{"native",
                           {cli},
                           "pty:" + link.string(),
                           [](const fs::path& path) { return path.string(); },
                           {},
                           std::chrono::seconds(5),
                           std::chrono::seconds(0)};
    const fs::path ourResults = folder / "respond-host.txt";
    BackgroundProgram respond;
    if (!respond.start(respondCommand(native, conversation, files))) {
        std::printf("%-22s could not start\n", "veltrane-cli respond");
        return;
    }
    for (auto end = BenchClock::now() + std::chrono::seconds(10);
         !fs::exists(link) && BenchClock::now() < end;)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    BackgroundProgram host;
    // The greeting went out before the program opened the terminal, as under umockdev-run.
    if (!host.start({self, "--host", link.string(), ourResults.string(), "--no-greeting"}) ||
        !waitForListening(ourResults, std::chrono::seconds(10))) {
        std::printf("%-22s the host could not open %s\n", "veltrane-cli respond",
                    link.string().c_str());
        return;
    }
    host.stop(std::chrono::seconds(120));
    respond.stop();
    printDistance("veltrane-cli respond", readHostRun(ourResults), conversation.asked.size());
}

}  // namespace

int main(int argc, char** argv) {
    if ((argc == 4 || argc == 5) && std::strcmp(argv[1], "--host") == 0)
        return hostAlone(argv[2], argv[3], argc == 4 || std::strcmp(argv[4], "--no-greeting") != 0);
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <veltrane-cli> [<veltrane-cli.exe> <wine loader>]\n",
                     argv[0]);
        return 2;
    }
    const fs::path folder = benchFolder("respond-lateness");
    SerialPair pair;
    std::string why;
    if (!pair.start(&why)) {
        std::fprintf(stderr, "no serial pair: %s\n", why.c_str());
        return 1;
    }
    std::vector<Responder> responders = {{"native",
                                          {argv[1]},
                                          pair.devicePortName(),
                                          [](const fs::path& path) { return path.string(); },
                                          {},
                                          std::chrono::seconds(5),
                                          std::chrono::seconds(0)}};
    fs::path comLink;
    if (argc == 4) {
        const char* prefix = std::getenv("WINEPREFIX");
        comLink = fs::path(prefix ? prefix : "") / "dosdevices" / "com6";
        std::error_code ignored;
        fs::remove(comLink, ignored);
        fs::create_symlink(pair.devicePortName(), comLink, ignored);
        responders.push_back({"Wine",
                              {argv[3], argv[2]},
                              "COM6",
                              [](const fs::path& path) { return onDriveZ(path); },
                              {"--duration", "40"},
                              std::chrono::seconds(30),
                              std::chrono::seconds(60)});
    }

    std::printf(
        "Each run asks about 300 requests; lateness in ms against the expected instant\n\n");
    std::printf("%-22s %11s %8s %8s %8s %9s   %-35s\n", "", "", "far end", "", "", "delay",
                "the command's own report");
    std::printf("%-22s %11s %8s %8s %8s %9s   %8s %8s %8s %6s\n", "run", "answered", "p50", "p99",
                "max", "got/exp", "p50", "p99", "max", "count");
    for (const BenchConversation& conversation :
         {exactRequests(), learnedModbusDevice(), counterWithCrc()}) {
        const std::string stem = conversation.name;
        RunFiles files{folder / (stem + ".pcapng"), folder / (stem + ".rules"), {}};
        if (!writeConversation(files.recording, conversation.recorded) ||
            !writeText(files.rules, conversation.rules)) {
            std::fprintf(stderr, "cannot write %s\n", files.recording.c_str());
            return 1;
        }
        for (const Responder& responder : responders) {
            files.report = folder / (stem + "-" + responder.name + ".json");
            measure(responder, conversation, files, pair.portName());
        }
    }
    if (!comLink.empty()) {
        std::error_code ignored;
        fs::remove(comLink, ignored);
    }

    compareWithUmockdev(fs::read_symlink("/proc/self/exe").string(), argv[1], folder);
    std::printf("\nLearning a Modbus slave from a long conversation\n\n");
    measureModbusLearning(argv[1], folder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
