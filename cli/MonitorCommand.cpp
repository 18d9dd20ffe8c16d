#include "cli/MonitorCommand.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/PortRemarks.h"
#include "cli/ProgressLine.h"
#include "workers/MonitorToFile.h"
#include "workers/PortOpening.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressStep = std::chrono::milliseconds(250);
constexpr auto kStopCheckStep = std::chrono::milliseconds(25);
const char* const kName = "monitor";

// What the command line asks for: the pairs of ports, all with the same line settings, the
// file, and when to stop.
struct MonitorRequest {
    std::vector<MonitorPairSettings> pairs;
    std::string outputPath;
    std::optional<double> duration;
    bool quiet = false;
    bool reconnect = false;
};

bool endsInPcapng(const std::string& path) {
    const std::string extension = ".pcapng";
    if (path.size() <= extension.size()) return false;
    std::string end = path.substr(path.size() - extension.size());
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == extension;
}

// The capture may go into a file of its own only: not into one of the ports it passes bytes
// between (it would loop into the line and leave no file), nor any device or other special file.
std::optional<std::string> captureRefusal(const MonitorRequest& request) {
    const std::string& output = request.outputPath;
    const std::string action = "write the conversation into";
    for (const MonitorPairSettings& pair : request.pairs) {
        std::string link;
        const bool hostIsPty = namesPseudoTerminal(pair.host.port, &link);
        const std::optional<std::string> hostPath =
            hostIsPty ? (link.empty() ? std::nullopt : std::optional(link))
                      : std::optional(pair.host.port);
        if (auto refusal = overwriteRefusal(
                {{output, action}},
                {{hostPath, hostIsPty ? "the pseudo-terminal's link" : "the host port"},
                 {pair.device.port, "the device port"}}))
            return refusal;
    }
    if (namesSpecialFile(output))
        return "cannot " + action + " " + output + ": it is not a regular file";
    return std::nullopt;
}

std::optional<MonitorRequest> monitorRequestFrom(const Arguments& arguments, std::string* error) {
    if (!arguments.positionals().empty()) {
        *error = "takes no file but -o OUT.pcapng";
        return std::nullopt;
    }
    const auto settings = lineSettingsFrom(arguments, error);
    if (!settings) return std::nullopt;
    MonitorRequest request;
    const std::vector<std::string> hosts = arguments.values("--host-port");
    const std::vector<std::string> devices = arguments.values("--device-port");
    for (const auto& [name, given] :
         {std::pair{"--host-port", &hosts}, std::pair{"--device-port", &devices}}) {
        if (given->empty() || std::find(given->begin(), given->end(), "") != given->end()) {
            *error = std::string(name) + " is needed";
            return std::nullopt;
        }
    }
    if (hosts.size() != devices.size()) {
        *error = "each --host-port needs its --device-port: " + std::to_string(hosts.size()) +
                 " host ports, " + std::to_string(devices.size()) + " device ports";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        MonitorPairSettings pair{*settings, *settings};
        pair.host.port = hosts[i];
        pair.device.port = devices[i];
        request.pairs.push_back(pair);
    }
    std::vector<std::string> all(hosts);
    all.insert(all.end(), devices.begin(), devices.end());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool pseudoTerminal = all[i] == "pty";  // each makes its own
        if (!pseudoTerminal && std::find(all.begin(), all.begin() + i, all[i]) != all.begin() + i) {
            *error = all[i] + " is given twice";
            return std::nullopt;
        }
    }
    request.outputPath = arguments.value("-o").value_or("");
    if (!endsInPcapng(request.outputPath)) {
        *error = request.outputPath.empty() ? "-o OUT.pcapng is needed"
                                            : "-o " + request.outputPath + " must end in .pcapng";
        return std::nullopt;
    }
    if (auto refusal = captureRefusal(request)) {
        *error = std::move(*refusal);
        return std::nullopt;
    }
    if (const auto text = arguments.value("--duration")) {
        request.duration = parseDecimal(*text, 0.1, 1e7);
        if (!request.duration) {
            *error = "--duration " + *text + " is not a number of seconds";
            return std::nullopt;
        }
    }
    request.quiet = arguments.has("--quiet");
    request.reconnect = arguments.has("--reconnect");
    return request;
}

// Both ports opened, the pseudo-terminal's path told (a script reads it from standard output),
// then the file made.
Failure openAll(const MonitorRequest& request, MonitorToFile& open, Console& console) {
    return openMonitorToFile(
        request.pairs, request.outputPath, "veltrane-cli " VELTRANE_VERSION, open,
        [&console](const std::string& programPath) {
            std::fprintf(console.out, "%s\n", programPath.c_str());
            std::fflush(console.out);
        },
        request.reconnect);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void showCounts(ProgressLine& progress, Clock::time_point start, const MonitorCounts& counts) {
    progress.showBothWays(secondsSince(start), counts.hostBursts.load(), counts.hostBytes.load(),
                          counts.deviceBursts.load(), counts.deviceBytes.load());
}

// Runs the relay on its own thread, so that drawing never delays a byte, and stops it at
// Ctrl+C or --duration. Returns what ended it (nothing for a stop).
Failure relayAndDraw(const MonitorRequest& request, MonitorToFile& open, MonitorCounts& counts,
                     const InterruptWatch& interrupts, Console& console, PortRemarks& remarks) {
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    Failure failure;
    std::thread relay([&] {
        failure = monitorIntoFile(open, stop, counts, {},
                                  [&remarks](const std::string& remark) { remarks.add(remark); });
        ended = true;
    });
    ProgressLine progress(console);
    const Clock::time_point start = Clock::now();
    Clock::time_point drawn = start;
    while (!ended.load()) {
        std::this_thread::sleep_for(kStopCheckStep);
        if (interrupts.interrupted() ||
            (request.duration && secondsSince(start) >= *request.duration))
            stop = true;
        if (Clock::now() - drawn >= kProgressStep) {
            remarks.tell([&progress] { progress.end(); });
            showCounts(progress, start, counts);
            drawn = Clock::now();
        }
    }
    relay.join();
    progress.end();
    remarks.tell();
    showCounts(progress, start, counts);  // the totals, not the last refresh's
    progress.end();
    return failure;
}

int runMonitorCommand(const Arguments& arguments, Console& console) {
    std::string error;
    const auto request = monitorRequestFrom(arguments, &error);
    if (!request) return reportUsageError(console, kName, error);
    // Watched until the outcome is told: a closing console waits for the last line.
    const InterruptWatch interrupts;
    MonitorToFile open;
    PortRemarks remarks(console, kName, request->quiet);
    if (Failure failure = openAll(*request, open, console); failure.happened())
        return reportFailure(console, kName, failure);
    std::string pairs;
    for (const MonitoredPair& pair : open.pairs) {
        remarks.add(pair.host.remarks);
        remarks.add(pair.device.remarks);
        pairs += (pairs.empty() ? "" : ", ") + pair.hostName + " <-> " + pair.deviceName;
    }
    remarks.tell();
    if (!request->quiet) {
        std::fprintf(console.err, "veltrane-cli monitor: monitoring %s into %s\n", pairs.c_str(),
                     request->outputPath.c_str());
    }
    MonitorCounts counts;
    const Failure ended = relayAndDraw(*request, open, counts, interrupts, console, remarks);
    // Everything the relay passed is in the file once it is closed, whatever ended the run.
    const Failure closed = open.writer.close();
    const std::string& path = request->outputPath;
    if (ended.kind == Failure::Kind::WriteOutput)
        return reportFailure(console, kName, ended, "what was recorded before is kept");
    if (ended.happened()) {
        if (closed.happened()) reportFailure(console, kName, closed);
        return reportFailure(console, kName, ended, "the conversation so far is kept in " + path);
    }
    if (closed.happened()) return reportFailure(console, kName, closed);
    if (!request->quiet) {
        std::fprintf(console.err,
                     "veltrane-cli monitor: host %llu bursts, %llu bytes; device %llu bursts, "
                     "%llu bytes in %s\n",
                     static_cast<unsigned long long>(counts.hostBursts.load()),
                     static_cast<unsigned long long>(counts.hostBytes.load()),
                     static_cast<unsigned long long>(counts.deviceBursts.load()),
                     static_cast<unsigned long long>(counts.deviceBytes.load()), path.c_str());
    }
    return kExitSuccess;
}

std::vector<OptionSpec> monitorOptions() {
    std::vector<OptionSpec> options = lineSettingOptions();
    options.push_back({"--host-port", true, ""});
    options.push_back({"--device-port", true, ""});
    options.push_back({"-o", true, "--output"});
    options.push_back({"--duration", true, ""});
    options.push_back(reconnectOption());
    return options;
}

}  // namespace

Command monitorCommand() {
    return {kName, "sit between a program and its device, recording both directions",
            "Usage: veltrane-cli monitor --host-port PORT --device-port PORT [--host-port PORT\n"
            "       --device-port PORT ...] -o OUT.pcapng [options]\n"
            "Passes every byte between the program under test (on the host port) and its device\n"
            "at once, both ways, and records each burst with who sent it and its time to the\n"
            "microsecond into OUT.pcapng, a conversation file that Wireshark opens, until\n"
            "Ctrl+C, --duration or a port's end. The file is whole whatever ends the run.\n"
            "On Linux --host-port pty makes a pseudo-terminal for the program and prints its\n"
            "path on standard output; pty:LINK also makes the symbolic link LINK to it. The\n"
            "program may close and open it again as often as it likes. Several pairs may be\n"
            "given, each --host-port with the --device-port in the same place: each pair is an\n"
            "interface of the file, all on one clock. Every port takes the same line settings.\n"
            "\nOptions:\n"
            "      --host-port PORT   the program's side: a serial port (on Windows one end of a\n"
            "                         virtual COM pair), pty or pty:LINK (Linux), or served\n"
            "                         over the network: rfc2217-server:[ADDR:]PORT or\n"
            "                         tcp-server:[ADDR:]PORT (127.0.0.1 unless ADDR is\n"
            "                         given; the URL for the program is printed)\n"
            "      --device-port PORT the device's serial port, or its device server:\n"
            "                         rfc2217://HOST:PORT or tcp://HOST:PORT\n"
            "  -o, --output OUT       the conversation file to write (.pcapng, needed)\n" +
                lineSettingsHelp() + "      --duration SECONDS stop after this long\n" +
                reconnectHelp() +
                "  -q, --quiet            no progress and no messages but errors\n"
                "  -h, --help             this help\n\n"
                "Exit status: see veltrane-cli --help.\n",
            monitorOptions(), runMonitorCommand};
}
