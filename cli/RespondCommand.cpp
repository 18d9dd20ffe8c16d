#include "cli/RespondCommand.h"

#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/InterfacePorts.h"
#include "cli/Interrupt.h"
#include "cli/JsonText.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/ReportFile.h"
#include "cli/RespondReport.h"
#include "conversation/InterfaceExtract.h"
#include "conversation/LineEventText.h"
#include "conversation/RequestIndex.h"
#include "engine/SerialPort.h"
#include "engine/TemporaryFile.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"
#include "workers/AnswerSources.h"
#include "workers/AnsweringEngine.h"
#include "workers/PortOpening.h"
#include "workers/ReconnectingPort.h"
#include "workers/RecordedDeviceLines.h"
#include "workers/SilenceGap.h"

namespace {

const char* const kName = "respond";

struct RespondOptions {
    std::string filePath;  // empty: the rules or the map answer alone
    AnswerSourceChoice sources;
    DeviceSettings device;
    std::vector<std::string> ports;  // every --port as given
    std::optional<std::uint64_t> durationMicros;
    std::uint64_t gapMicros = 0;
    bool strict = false;
    std::optional<std::string> reportPath;
    std::optional<std::string> logPath;
    bool quiet = false;
    bool reconnect = false;
};

std::optional<RespondOptions> respondOptionsFrom(const Arguments& arguments, std::string* error) {
    RespondOptions options;
    options.sources.rulesPath = arguments.value("--rules");
    options.sources.learnModbus = arguments.has("--modbus");
    options.sources.modbusMapPath = arguments.value("--modbus-map");
    const bool sourceAlone = options.sources.rulesPath || options.sources.modbusMapPath;
    if (arguments.positionals().size() > 1 || (arguments.positionals().empty() && !sourceAlone)) {
        *error = "needs one conversation file to answer from (or --rules or --modbus-map)";
        return std::nullopt;
    }
    if (!arguments.positionals().empty()) options.filePath = arguments.positionals()[0];
    if (options.sources.learnModbus && options.filePath.empty()) {
        *error = "--modbus needs a conversation file to learn the device from";
        return std::nullopt;
    }
    const auto device = deviceSettingsFrom(arguments, error);
    if (!device) return std::nullopt;
    options.device = *device;
    options.ports = arguments.values("--port");
    if (const auto text = arguments.value("--duration")) {
        const auto seconds = parseDecimal(*text, 0.1, 1e7);
        if (!seconds) {
            *error = "--duration " + *text + " is not a number of seconds";
            return std::nullopt;
        }
        options.durationMicros = static_cast<std::uint64_t>(std::llround(*seconds * 1e6));
    }
    options.gapMicros = defaultGapMicros(options.device);
    if (const auto text = arguments.value("--gap")) {
        const auto ms = parseDecimal(*text, 0.1, 60'000.0);
        if (!ms) {
            *error = "--gap " + *text + " is not a number of milliseconds from 0.1 to 60000";
            return std::nullopt;
        }
        options.gapMicros = static_cast<std::uint64_t>(std::llround(*ms * 1000.0));
    }
    options.strict = arguments.has("--strict");
    options.reportPath = arguments.value("--report");
    options.logPath = arguments.value("--log");
    if (auto refusal = overwriteRefusal(
            {{options.reportPath, "write the report into"},
             {options.logPath, "write the log into"}},
            {{options.filePath, inputWords(options.filePath, "being answered from")},
             {options.sources.rulesPath.value_or(""), "the rules file"},
             {options.sources.modbusMapPath.value_or(""), "the Modbus map"}})) {
        *error = std::move(*refusal);
        return std::nullopt;
    }
    options.quiet = arguments.has("--quiet");
    options.reconnect = arguments.has("--reconnect");
    return options;
}

// "x.pcapng (12 requests), the rules in x.rules and Modbus RTU, units 1, 2"; a port of a file
// of several says which: "x.pcapng port 2 (12 requests)".
std::string sourceWords(const RespondOptions& options, const std::string& fileWords,
                        const RequestIndex& index, const AnswerSources& sources) {
    std::vector<std::string> words;
    if (!options.filePath.empty())
        words.push_back(fileWords + " (" + std::to_string(index.requestCount()) + " requests)");
    if (sources.hasRules()) words.push_back("the rules in " + *options.sources.rulesPath);
    if (sources.hasModbus()) words.push_back(sources.modbusWords());
    std::string text;
    for (std::size_t at = 0; at < words.size(); ++at) {
        if (at > 0) text += at + 1 == words.size() ? " and " : ", ";
        text += words[at];
    }
    return text;
}

std::string requestWords(const StandInMiss& miss) {
    if (!miss.expected) return "no more requests (the file's were all asked)";
    return "request " + std::to_string(*miss.expected + 1) + " (" +
           hexWords(miss.expectedBytes, miss.expectedLength) + ")";
}

// "expected request 3 (01 03 ...), got 01 04 ... (no recorded request)"
std::string missLine(const StandInMiss& miss) {
    return "expected " + requestWords(miss) + ", got " + hexWords(miss.came, miss.cameLength) +
           (miss.unknown ? " (no recorded request)" : " (a request out of order)");
}

// Logs each miss, draws the progress and passes Ctrl+C on to the run. Several ports answer on
// threads of their own: each has a PortListener in front of this one, which holds the lock.
class RespondListener {
public:
    RespondListener(const RespondOptions& options, const InterruptWatch& interrupts,
                    const Console& console)
        : interrupts_(interrupts),
          console_(console),
          log_(logSettingsOf(options)),
          quiet_(options.quiet) {}

    bool stopAsked() const { return interrupts_.interrupted(); }
    bool logging() const { return log_.isOpen(); }
    void logLine(const std::string& line) {
        std::lock_guard lock(mutex_);
        log_.writeLine(line);
    }
    // Worth a line on the console (unless quiet) and in the log: a program connecting to a
    // served port, or leaving.
    void remark(const std::string& text) {
        std::lock_guard lock(mutex_);
        log_.writeLine(text);
        if (quiet_) return;
        endProgressLocked();
        std::fprintf(console_.err, "veltrane-cli respond: %s\n", text.c_str());
        std::fflush(console_.err);
    }
    // One port's counts, drawn as the sum of every port's.
    void progress(std::size_t port, const StandInCounts& counts) {
        std::lock_guard lock(mutex_);
        if (counts_.size() <= port) counts_.resize(port + 1);
        counts_[port] = counts;
        if (!console_.showProgress) return;
        StandInCounts all;
        for (const StandInCounts& one : counts_) {
            all.requests += one.requests;
            all.answered += one.answered;
            all.unknown += one.unknown;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        // Padded so that a shorter line covers the longer one before it.
        std::fprintf(console_.err, "\r%9.1f s  %10llu requests  %10llu answered  %8llu unknown  ",
                     seconds, static_cast<unsigned long long>(all.requests),
                     static_cast<unsigned long long>(all.answered),
                     static_cast<unsigned long long>(all.unknown));
        std::fflush(console_.err);
        drawn_ = true;
    }
    void endProgress() {
        std::lock_guard lock(mutex_);
        endProgressLocked();
    }

private:
    using Clock = std::chrono::steady_clock;
    static LogSettings logSettingsOf(const RespondOptions& options) {
        LogSettings settings;
        settings.loggingOn = options.logPath.has_value();
        settings.logFile = options.logPath.value_or("");
        return settings;
    }
    void endProgressLocked() {
        if (drawn_) std::fputc('\n', console_.err);
        drawn_ = false;
    }

    const InterruptWatch& interrupts_;
    const Console& console_;
    std::mutex mutex_;
    LogWriter log_;
    bool quiet_ = false;
    Clock::time_point start_ = Clock::now();
    bool drawn_ = false;
    std::vector<StandInCounts> counts_;
};

// What one port's run tells, led by its port's name when several answer.
class PortListener : public AnsweringListener {
public:
    PortListener(RespondListener& shared, std::size_t number, std::string prefix)
        : shared_(shared), number_(number), prefix_(std::move(prefix)) {}

    bool stopAsked() override { return shared_.stopAsked(); }
    void answered(const StandInAnswerNote& note) override {
        const std::string came = hexWords(note.came, note.cameLength);
        if (note.refused) {
            log("Not answered (" + note.originWords + "): " + came);
        } else if (note.origin == AnswerOrigin::Recording) {
            log("Answered from the recording (request " +
                std::to_string(note.recorded.value_or(0) + 1) + "): " + came);
        } else {
            log("Answered by " + note.originWords + ": " + came);
        }
    }
    void remark(const std::string& text) override { shared_.remark(prefix_ + text); }
    void lineChanged(const LineEvent& event) override {
        // A port that was away and is back has said so in its remarks.
        if (event.kind == LineEventKind::DataLost) return;
        log("The program set " + lineEventText(event));
    }
    void missed(const StandInMiss& miss) override {
        log(miss.unknown ? "Unknown request: " + hexWords(miss.came, miss.cameLength)
                         : "Answered out of order: " + missLine(miss));
    }
    void progress(const StandInCounts& counts) override { shared_.progress(number_, counts); }

private:
    void log(const std::string& line) { shared_.logLine(prefix_ + line); }

    RespondListener& shared_;
    std::size_t number_;
    std::string prefix_;
};

// One port answering for one device of the file: the file's only one, or one interface of
// several (read from a file of its own that holds that interface alone).
struct RespondPort {
    std::string name;       // the port as given
    std::string fileWords;  // what it answers from, in words
    std::unique_ptr<TemporaryFile> extract;
    RequestIndex index;
    AnswerSources sources;
    std::unique_ptr<DeviceStandIn> standIn;
    OpenedPort host;
    DelayTally lateness;
    AnsweringResult result;
};

// The stand-ins the command line asks for, each ready to answer, its port not yet open; or,
// when that cannot be, the exit status once the reason is told.
std::optional<int> prepareStandIns(const RespondOptions& options, Console& console,
                                   std::vector<std::unique_ptr<RespondPort>>& ports) {
    std::vector<InterfacePort> given;
    bool several = false;
    if (options.filePath.empty()) {
        given.push_back({0, options.device.port});
    } else {
        ConversationReader reader;
        if (Failure failure = reader.open(options.filePath); failure.happened())
            return reportFailure(console, kName, failure);
        std::string error;
        const auto paired =
            interfacePortsFrom(options.ports, reader.interfaces(), options.filePath, &error);
        if (!paired) return reportUsageError(console, kName, error);
        given = *paired;
        several = reader.interfaces().size() > 1;
    }
    for (const InterfacePort& port : given) {
        auto& prepared = *ports.emplace_back(std::make_unique<RespondPort>());
        prepared.name = port.port;
        std::string path = options.filePath;
        prepared.fileWords = path;
        if (several) {
            prepared.extract = std::make_unique<TemporaryFile>(".pcapng");
            path = prepared.extract->path();
            prepared.fileWords += " port " + std::to_string(port.interfaceIndex + 1);
            if (Failure failure = extractInterface(options.filePath, port.interfaceIndex, path,
                                                   "veltrane-cli " VELTRANE_VERSION);
                failure.happened())
                return reportFailure(console, kName, failure);
        }
        Failure failure;
        if (!path.empty()) failure = prepared.index.build(path);
        if (!failure.happened()) failure = prepared.sources.load(options.sources, prepared.index);
        if (failure.happened()) return reportFailure(console, kName, failure);
        if (const auto& mistake = prepared.sources.mistake())
            return reportMistake(console, kName, mistake->words());
        prepared.standIn = std::make_unique<DeviceStandIn>(prepared.index, options.gapMicros);
        prepared.sources.addTo(*prepared.standIn);
        failure = prepared.standIn->start();
        if (failure.happened()) return reportFailure(console, kName, failure);
    }
    return std::nullopt;
}

// Opens each port; on Linux "pty" or "pty:LINK" makes a pseudo-terminal for the program under
// test (its path on standard output), which may close and reopen it as often as it likes. A
// program sees the device's lines as recorded, where the port can show them.
Failure openStandInPorts(const RespondOptions& options, Console& console,
                         std::vector<std::unique_ptr<RespondPort>>& ports) {
    for (const auto& port : ports) {
        DeviceSettings settings = options.device;
        settings.port = port->name;
        if (const Failure failure = openHostSide(settings, options.reconnect, &port->host);
            failure.happened())
            return failure;
        if (!port->host.programPath.empty()) {
            std::fprintf(console.out, "%s\n", port->host.programPath.c_str());
            std::fflush(console.out);
        }
        const std::string& path = port->index.path();
        if (!path.empty()) {
            if (const auto lines = recordedDeviceLines(path))
                port->host.port->tellLineEvent(*lines);
        }
    }
    return {};
}

// The report (a part a port when several answered, each led by its port), then the first
// port's end that was no stop.
int wordOutcome(const RespondOptions& options,
                const std::vector<std::unique_ptr<RespondPort>>& ports, Console& console) {
    const bool several = ports.size() > 1;
    std::string text;
    std::string json;
    for (const auto& port : ports) {
        const StandInCounts counts = port->standIn->counts();
        const auto byOrigin = port->standIn->answersByOrigin();
        if (several) text += "port " + port->name + ":\n";
        text += respondReportText(counts, port->lateness, byOrigin);
        std::string one = respondReportJson(counts, port->lateness, byOrigin);
        if (several) {
            one.insert(1, "\"port\": " + jsonString(port->name) + ", ");
            json += std::string(json.empty() ? "" : ", ") + one;
        } else {
            json = one;
        }
    }
    if (several) json = "{\"ports\": [" + json + "]}";
    std::fputs(text.c_str(), console.out);
    std::fflush(console.out);
    if (options.reportPath) {
        const Failure failure = writeReportFile(*options.reportPath, json);
        if (failure.happened()) return reportFailure(console, kName, failure);
    }
    for (const auto& port : ports) {
        switch (port->result.end) {
            case AnsweringResult::End::Missed:
                return reportFailure(
                    console, kName,
                    (several ? port->name + ": " : "") + missLine(*port->result.miss));
            case AnsweringResult::End::Failed:
                return reportFailure(console, kName, port->result.failure);
            case AnsweringResult::End::Stopped:
            case AnsweringResult::End::DurationReached:
                break;
        }
    }
    return kExitSuccess;
}

int runRespond(const Arguments& arguments, Console& console) {
    std::string error;
    const auto options = respondOptionsFrom(arguments, &error);
    if (!options) return reportUsageError(console, kName, error);
    std::vector<std::unique_ptr<RespondPort>> ports;
    if (const auto exit = prepareStandIns(*options, console, ports)) return *exit;
    if (const Failure failure = openStandInPorts(*options, console, ports); failure.happened())
        return reportFailure(console, kName, failure);
    // Scripts may wait for this line before the host starts asking.
    if (!options->quiet) {
        for (const auto& port : ports) {
            std::fprintf(
                console.err, "veltrane-cli respond: answering on %s from %s\n", port->name.c_str(),
                sourceWords(*options, port->fileWords, port->index, port->sources).c_str());
        }
        std::fflush(console.err);
    }
    // Watched until the outcome is told: a closing console waits for the last line.
    const InterruptWatch interrupts;
    RespondListener shared(*options, interrupts, console);
    const bool several = ports.size() > 1;
    std::vector<std::unique_ptr<PortListener>> listeners;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        RespondPort& port = *ports[i];
        listeners.push_back(
            std::make_unique<PortListener>(shared, i, several ? port.name + ": " : ""));
        for (const std::string& remark : port.host.remarks) listeners.back()->remark(remark);
        if (shared.logging()) port.standIn->keepAnswerNotes();
    }
    const auto answer = [&](std::size_t i) {
        RespondPort& port = *ports[i];
        AnsweringOptions run;
        run.portName = port.name;
        run.durationMicros = options->durationMicros;
        run.endAtFirstMiss = options->strict;
        port.result =
            runAnswering(*port.host.port, *port.standIn, run, *listeners[i], port.lateness);
        listeners[i]->progress(port.standIn->counts());
    };
    if (several) {
        // Each port waits on its own; every thread ends at Ctrl+C or --duration.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < ports.size(); ++i) threads.emplace_back(answer, i);
    } else {
        answer(0);
    }
    shared.endProgress();
    return wordOutcome(*options, ports, console);
}

std::vector<OptionSpec> respondOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--duration", true, ""});
    options.push_back({"--gap", true, ""});
    options.push_back({"--strict", false, ""});
    options.push_back({"--report", true, ""});
    options.push_back({"--log", true, ""});
    options.push_back({"--rules", true, ""});
    options.push_back({"--modbus", false, ""});
    options.push_back({"--modbus-map", true, ""});
    options.push_back(reconnectOption());
    return options;
}

}  // namespace

Command respondCommand() {
    return {
        kName, "stand in for the device of a conversation file, answering its requests",
        "Usage: veltrane-cli respond FILE.pcapng --port PORT [options]\n"
        "       veltrane-cli respond FILE.pcapng --port N=PORT [--port N=PORT ...] [options]\n"
        "       veltrane-cli respond [FILE.pcapng] --rules RULES --port PORT [options]\n"
        "       veltrane-cli respond [FILE.pcapng --modbus] --modbus-map MAP.csv --port PORT\n"
        "Answers on the port as the device in FILE.pcapng did: bytes equal to a recorded\n"
        "request get that request's answer, each burst at its recorded delay after the\n"
        "request's last byte. The next request in the file's order answers first, then the\n"
        "first unused one with the same bytes, then the last of them again. The device's\n"
        "bytes before the first request go out on their recorded schedule from the start.\n"
        "Bytes that could still grow into a longer request, and bytes that are no request,\n"
        "wait for a silence of --gap; the latter get no answer and are counted. Runs until\n"
        "Ctrl+C or --duration, then prints a report: requests, how they were answered (from\n"
        "the recording, by which rule, by the Modbus device) and each answer burst's lateness\n"
        "against its due instant (p50, p99, max).\n"
        "Requests the recording holds none of go, in this order, to the rules of --rules\n"
        "and to the Modbus device of --modbus; what neither answers gets silence. A request\n"
        "whole by its shape (a rule's request ending in fixed bytes or a check value, a\n"
        "Modbus frame of its function's length with a right CRC) is answered at once, others\n"
        "after the silence.\n"
        "On Linux --port pty makes a pseudo-terminal for the program under test and prints\n"
        "its path on standard output (pty:LINK also makes the symbolic link LINK to it); the\n"
        "program may close and reopen it as often as it likes.\n"
        "A file of several ports (interfaces, as info lists them) takes a --port N=PORT for\n"
        "each device to stand in for, N its number from 1 or its recorded port name: each\n"
        "port answers as its own device did, at the same time as the others; the rules and\n"
        "the Modbus options apply to each, and the report has a part for each port.\n\n"
        "Options:\n" +
            lineOptionsHelp() +
            "      --duration SECONDS  stop after this long\n"
            "      --gap MS           the silence that ends a request (3.5 characters at the\n"
            "                         line's speed, at least 2 ms)\n"
            "      --strict           end at the first request out of order or unknown,\n"
            "                         saying which request was expected and what came\n"
            "      --rules RULES      answer by the rules in RULES (below) what the recording\n"
            "                         holds no request for\n"
            "      --modbus           answer Modbus RTU or ASCII requests never recorded as\n"
            "                         the slave learned from FILE.pcapng (info --modbus)\n"
            "      --modbus-map MAP.csv  the slave's values from MAP.csv (info --modbus-map\n"
            "                         writes one); its rows win over what was learned\n"
            "      --report FILE      also write the report as JSON into FILE\n"
            "      --log FILE         log each request (in hex) and what answered it into FILE\n" +
            reconnectHelp() +
            "  -q, --quiet            no progress and no messages but errors\n"
            "  -h, --help             this help\n\n"
            "A rules file: a rule is a `when` line (the request), an `answer` line, then\n"
            "optional `put` and `delay` lines; rules are tried in file order; '#' comments.\n"
            "  when    hex bytes 01 03, text \"MEAS?\\r\\n\", ?? (a byte), ??{4} (4 bytes),\n"
            "          .. (a run), captures {n:2} {n:2le} {n:..} {n:dec} {n:hex}, and a\n"
            "          check value: crc16-modbus, crc16-ccitt-false, crc32, lrc, lrc-ascii,\n"
            "          xor8, sum8, nmea, crc(WIDTH,POLY,INIT,XOROUT,REFIN,REFOUT,le|be),\n"
            "          each optionally \"from N\"; a request with a wrong one is not answered\n"
            "  answer  bytes, text, {n} {n + 1} {n:dec} {n:hex} {n:2le}, check values; or\n"
            "          \"recorded\" (the answer to a recorded request the `when` matches, the\n"
            "          next unused then the last again, every burst at its delay), or\n"
            "          \"nothing\"\n"
            "  put     n at OFFSET: a capture written into a recorded answer\n"
            "  delay   recorded (the default), 20ms, 1.5ms, 300us, 0\n"
            "Examples:\n"
            "  # a line protocol that echoes a sequence number\n"
            "  when   \"S\" {seq:dec} \" MEAS?\\r\\n\"\n"
            "  answer \"S\" {seq} \" 12.5 V\\r\\n\"\n"
            "  # a binary protocol with a counter and a CRC: the recorded answer, its\n"
            "  # counter set to the request's and its CRC made again\n"
            "  when   02 {counter:1} 10 ??{2} crc16-modbus\n"
            "  answer recorded crc16-modbus\n"
            "  put    counter at 1\n"
            "  # NMEA: a position for every poll\n"
            "  when   \"$PQRY,\" {what:..} \"*\" nmea \"\\r\\n\"\n"
            "  answer \"$GPGLL,4916.45,N,12311.12,W,225444,A*\" nmea \"\\r\\n\"\n"
            "  delay  20ms\n"
            "  # Modbus ASCII, unit 1, read holding registers: two fixed values\n"
            "  when   \":0103\" ??{8} lrc-ascii \"\\r\\n\"\n"
            "  answer \":01030400010002\" lrc-ascii \"\\r\\n\"\n\n"
            "A Modbus map (CSV): a header row unit,table,address,value, then a row per value:\n"
            "unit 1-247; table coil, discrete_input, holding or input; address as the\n"
            "protocol numbers it, from 0 (a master's reference 40001 is holding 0); value\n"
            "0/1 or 0-65535. A register that changed has a row per value, given one per read,\n"
            "then the last again. A mistake in RULES or MAP.csv is one line, FILE:LINE: what\n"
            "is wrong, and exit 2.\n\n"
            "Record, learn, edit, answer (the recording made by monitor between the master\n"
            "and the slave, see veltrane-cli monitor --help):\n"
            "  veltrane-cli info plc.pcapng --modbus --modbus-map plc.csv\n"
            "  sed -i 's/^1,holding,0,.*/1,holding,0,4321/' plc.csv\n"
            "  veltrane-cli respond plc.pcapng --modbus --modbus-map plc.csv --port "
            "pty:/tmp/hmi\n\n"
            "Exit status: see veltrane-cli --help; with --strict a request out of order or\n"
            "unknown ends it with 1.\n",
        respondOptions(), runRespond};
}
