#include "cli/RespondCommand.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/ReportFile.h"
#include "cli/RespondReport.h"
#include "conversation/LineEventText.h"
#include "conversation/RequestIndex.h"
#include "engine/SerialPort.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"
#include "workers/AnswerSources.h"
#include "workers/AnsweringEngine.h"
#include "workers/PortOpening.h"
#include "workers/RecordedDeviceLines.h"
#include "workers/SilenceGap.h"

namespace {

const char* const kName = "respond";

struct RespondOptions {
    std::string filePath;  // empty: the rules or the map answer alone
    AnswerSourceChoice sources;
    DeviceSettings device;
    std::optional<std::uint64_t> durationMicros;
    std::uint64_t gapMicros = 0;
    bool strict = false;
    std::optional<std::string> reportPath;
    std::optional<std::string> logPath;
    bool quiet = false;
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
    return options;
}

// "x.pcapng (12 requests), the rules in x.rules and Modbus RTU, units 1, 2"
std::string sourceWords(const RespondOptions& options, const RequestIndex& index,
                        const AnswerSources& sources) {
    std::vector<std::string> words;
    if (!options.filePath.empty())
        words.push_back(options.filePath + " (" + std::to_string(index.requestCount()) +
                        " requests)");
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

// Logs each miss, draws the progress and passes Ctrl+C on to the run.
class RespondListener : public AnsweringListener {
public:
    RespondListener(const RespondOptions& options, const InterruptWatch& interrupts,
                    const Console& console)
        : interrupts_(interrupts),
          console_(console),
          log_(logSettingsOf(options)),
          quiet_(options.quiet) {}

    bool stopAsked() override { return interrupts_.interrupted(); }
    void answered(const StandInAnswerNote& note) override {
        const std::string came = hexWords(note.came, note.cameLength);
        if (note.refused) {
            log_.writeLine("Not answered (" + note.originWords + "): " + came);
        } else if (note.origin == AnswerOrigin::Recording) {
            log_.writeLine("Answered from the recording (request " +
                           std::to_string(note.recorded.value_or(0) + 1) + "): " + came);
        } else {
            log_.writeLine("Answered by " + note.originWords + ": " + came);
        }
    }
    bool logging() const { return log_.isOpen(); }
    // A program connecting to a served port, or leaving: on the console (unless quiet) and in
    // the log.
    void remark(const std::string& text) override {
        log_.writeLine(text);
        if (quiet_) return;
        endProgress();
        std::fprintf(console_.err, "veltrane-cli respond: %s\n", text.c_str());
        std::fflush(console_.err);
    }
    void lineChanged(const LineEvent& event) override {
        log_.writeLine("The program set " + lineEventText(event));
    }
    void missed(const StandInMiss& miss) override {
        log_.writeLine(miss.unknown ? "Unknown request: " + hexWords(miss.came, miss.cameLength)
                                    : "Answered out of order: " + missLine(miss));
    }
    void progress(const StandInCounts& counts) override {
        if (!console_.showProgress) return;
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        // Padded so that a shorter line covers the longer one before it.
        std::fprintf(console_.err, "\r%9.1f s  %10llu requests  %10llu answered  %8llu unknown  ",
                     seconds, static_cast<unsigned long long>(counts.requests),
                     static_cast<unsigned long long>(counts.answered),
                     static_cast<unsigned long long>(counts.unknown));
        std::fflush(console_.err);
        drawn_ = true;
    }
    void endProgress() {
        if (drawn_) std::fputc('\n', console_.err);
        drawn_ = false;
    }

private:
    using Clock = std::chrono::steady_clock;
    static LogSettings logSettingsOf(const RespondOptions& options) {
        LogSettings settings;
        settings.loggingOn = options.logPath.has_value();
        settings.logFile = options.logPath.value_or("");
        return settings;
    }

    const InterruptWatch& interrupts_;
    const Console& console_;
    LogWriter log_;
    bool quiet_ = false;
    Clock::time_point start_ = Clock::now();
    bool drawn_ = false;
};

int runRespond(const Arguments& arguments, Console& console) {
    std::string error;
    const auto options = respondOptionsFrom(arguments, &error);
    if (!options) return reportUsageError(console, kName, error);
    RequestIndex index;
    if (!options->filePath.empty()) {
        if (const Failure failure = index.build(options->filePath); failure.happened())
            return reportFailure(console, kName, failure);
    }
    AnswerSources sources;
    if (const Failure failure = sources.load(options->sources, index); failure.happened())
        return reportFailure(console, kName, failure);
    if (const auto& mistake = sources.mistake())
        return reportMistake(console, kName, mistake->words());
    DeviceStandIn standIn(index, options->gapMicros);
    sources.addTo(standIn);
    if (const Failure failure = standIn.start(); failure.happened())
        return reportFailure(console, kName, failure);
    const DeviceSettings& device = options->device;
    // On Linux "pty" or "pty:LINK" makes a pseudo-terminal for the program under test, which
    // may close and reopen it as often as it likes.
    OpenedPort host;
    if (const Failure failure = openHostSidePort(device, &host); failure.happened())
        return reportFailure(console, kName, failure);
    if (!host.programPath.empty()) {
        std::fprintf(console.out, "%s\n", host.programPath.c_str());
        std::fflush(console.out);
    }
    WaitablePort& port = *host.port;
    // A program sees the device's lines as recorded, where the port can show them.
    if (!options->filePath.empty()) {
        if (const auto lines = recordedDeviceLines(options->filePath)) port.tellLineEvent(*lines);
    }
    // Scripts may wait for this line before the host starts asking.
    if (!options->quiet) {
        std::fprintf(console.err, "veltrane-cli respond: answering on %s from %s\n",
                     device.port.c_str(), sourceWords(*options, index, sources).c_str());
        std::fflush(console.err);
    }
    // Watched until the outcome is told: a closing console waits for the last line.
    const InterruptWatch interrupts;
    RespondListener listener(*options, interrupts, console);
    for (const std::string& remark : host.remarks) listener.remark(remark);
    if (listener.logging()) standIn.keepAnswerNotes();
    AnsweringOptions run;
    run.portName = device.port;
    run.durationMicros = options->durationMicros;
    run.endAtFirstMiss = options->strict;
    DelayTally lateness;
    const AnsweringResult result = runAnswering(port, standIn, run, listener, lateness);
    listener.progress(standIn.counts());
    listener.endProgress();

    std::fputs(respondReportText(standIn.counts(), lateness, standIn.answersByOrigin()).c_str(),
               console.out);
    std::fflush(console.out);
    if (options->reportPath) {
        const Failure failure = writeReportFile(
            *options->reportPath,
            respondReportJson(standIn.counts(), lateness, standIn.answersByOrigin()));
        if (failure.happened()) return reportFailure(console, kName, failure);
    }
    switch (result.end) {
        case AnsweringResult::End::Missed:
            return reportFailure(console, kName, missLine(*result.miss));
        case AnsweringResult::End::Failed:
            return reportFailure(console, kName, result.failure);
        case AnsweringResult::End::Stopped:
        case AnsweringResult::End::DurationReached:
            break;
    }
    return kExitSuccess;
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
    return options;
}

}  // namespace

Command respondCommand() {
    return {
        kName, "stand in for the device of a conversation file, answering its requests",
        "Usage: veltrane-cli respond FILE.pcapng --port PORT [options]\n"
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
        "program may close and reopen it as often as it likes.\n\n"
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
            "      --log FILE         log each request (in hex) and what answered it into FILE\n"
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
