#include "cli/AskCommand.h"

#include <cstdio>
#include <optional>
#include <string>

#include "cli/FailureLine.h"
#include "cli/InterfacePorts.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/PortRemarks.h"
#include "cli/ReportFile.h"
#include "conversation/ConversationReader.h"
#include "conversation/InterfaceExtract.h"
#include "conversation/LineEventText.h"
#include "engine/TemporaryFile.h"
#include "workers/ConversationAsk.h"
#include "workers/PortOpening.h"

namespace {

const char* const kName = "ask";
// Longer answers are cut in the difference lines; the first differing byte is always shown.
constexpr std::size_t kShownBytes = 64;

struct AskOptions {
    std::string filePath;
    DeviceSettings device;
    std::optional<std::string> reportPath;
    AskSettings ask;
};

std::optional<AskOptions> askOptionsFrom(const Arguments& arguments, std::string* error) {
    if (arguments.positionals().size() != 1) {
        *error = "needs one conversation file to ask from";
        return std::nullopt;
    }
    AskOptions options;
    options.filePath = arguments.positionals()[0];
    const auto device = deviceSettingsFrom(arguments, error);
    if (!device) return std::nullopt;
    options.device = *device;
    options.ask.filePath = options.filePath;
    options.ask.portName = device->port;
    if (const auto text = arguments.value("--timeout")) {
        const auto ms = parseInteger(*text, 1, 3'600'000);
        if (!ms) {
            *error = "--timeout " + *text + " is not a number of milliseconds from 1 to 3600000";
            return std::nullopt;
        }
        options.ask.timeout = std::chrono::milliseconds(*ms);
    }
    options.reportPath = arguments.value("--report");
    if (auto refusal = overwriteRefusal(
            {{options.reportPath, "write the report into"}},
            {{options.filePath, inputWords(options.filePath, "being asked from")}})) {
        *error = std::move(*refusal);
        return std::nullopt;
    }
    return options;
}

// Why the file cannot be asked from, looking up to its first request: it fails to read, or it
// holds no burst from the host.
std::optional<std::string> whyNothingToAsk(const std::string& path) {
    ConversationReader reader;
    if (const Failure failure = reader.open(path); failure.happened()) return failureLine(failure);
    ConversationBurst burst;
    while (reader.next(burst)) {
        if (burst.direction == Direction::Host) return std::nullopt;
    }
    if (reader.failure().happened()) return failureLine(reader.failure());
    return path + " holds no request to ask: no burst came from the host";
}

std::string hexOf(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    if (bytes.empty()) return "nothing";
    std::string text;
    // The shown part keeps the first differing byte in view.
    const std::size_t start = from >= kShownBytes ? from - kShownBytes / 2 : 0;
    const std::size_t end = std::min(bytes.size(), start + kShownBytes);
    if (start > 0) text += "... ";
    char hex[4];
    for (std::size_t i = start; i < end; ++i) {
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        if (i > start) text += ' ';
        text += hex;
    }
    if (end < bytes.size()) text += " ...";
    return text;
}

// "request 3 at 0.520000 s: "
std::string requestHead(std::uint64_t request, std::uint64_t requestMicros) {
    char head[96];
    std::snprintf(head, sizeof head,
                  "request %llu at %llu.%06llu s: ", static_cast<unsigned long long>(request),
                  static_cast<unsigned long long>(requestMicros / 1'000'000),
                  static_cast<unsigned long long>(requestMicros % 1'000'000));
    return head;
}

std::string differenceLine(const AnswerDifference& d) {
    const std::string head = requestHead(d.request, d.requestMicros);
    const std::string what = d.late ? "answer after the timeout"
                             : d.got.empty()
                                 ? "no answer"
                                 : "differs at byte " + std::to_string(d.firstDiffering);
    return head + what + ": expected " + hexOf(d.expected, d.firstDiffering) + ", got " +
           hexOf(d.got, d.firstDiffering) + "\n";
}

// "request 3 at 0.520000 s: the device's lines were CTS, expected CTS DSR"
std::string lineDifferenceLine(const LineDifference& d) {
    return requestHead(d.request, d.requestMicros) + "the device's lines were " +
           controlLinesText(d.got) + ", expected " + controlLinesText(d.expected) + "\n";
}

double msOf(std::uint64_t micros) { return static_cast<double>(micros) / 1000.0; }

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string reportText(const AskTally& t) {
    return "requests: " + std::to_string(t.requests) +
           "\nanswers matched: " + std::to_string(t.answersMatched) +
           "\nanswers differing: " + std::to_string(t.answersDiffering) +
           "\nanswers missing: " + std::to_string(t.answersMissing) +
           "\nanswers late: " + std::to_string(t.answersLate) +
           formatted("\nanswer time p50: %.3f ms", msOf(t.answerMicros.percentileMicros(0.5))) +
           formatted("\nanswer time p99: %.3f ms", msOf(t.answerMicros.percentileMicros(0.99))) +
           formatted("\nanswer time max: %.3f ms\n", msOf(t.answerMicros.maxMicros())) +
           // Only where the recording and the port both showed the device's lines.
           (t.lineStatesCompared == 0
                ? std::string()
                : "line states compared: " + std::to_string(t.lineStatesCompared) +
                      "\nline states differing: " + std::to_string(t.lineStatesDiffering) + "\n");
}

std::string reportJson(const AskTally& t) {
    return "{\n  \"requests\": " + std::to_string(t.requests) +
           ",\n  \"answers_matched\": " + std::to_string(t.answersMatched) +
           ",\n  \"answers_differing\": " + std::to_string(t.answersDiffering) +
           ",\n  \"answers_missing\": " + std::to_string(t.answersMissing) +
           ",\n  \"answers_late\": " + std::to_string(t.answersLate) +
           formatted(",\n  \"answer_time_p50_ms\": %.3f",
                     msOf(t.answerMicros.percentileMicros(0.5))) +
           formatted(",\n  \"answer_time_p99_ms\": %.3f",
                     msOf(t.answerMicros.percentileMicros(0.99))) +
           formatted(",\n  \"answer_time_max_ms\": %.3f", msOf(t.answerMicros.maxMicros())) +
           ",\n  \"line_states_compared\": " + std::to_string(t.lineStatesCompared) +
           ",\n  \"line_states_differing\": " + std::to_string(t.lineStatesDiffering) + "\n}\n";
}

int runAsk(const Arguments& arguments, Console& console) {
    std::string error;
    const auto options = askOptionsFrom(arguments, &error);
    if (!options) return reportUsageError(console, kName, error);
    ConversationReader reader;
    if (const Failure failure = reader.open(options->filePath); failure.happened())
        return reportFailure(console, kName, failure);
    // One device is asked at a time: of a rig's file, the interface --port N=PORT names, read
    // from a file that holds it alone.
    const auto given = interfacePortsFrom(arguments.values("--port"), reader.interfaces(),
                                          options->filePath, &error);
    if (!given) return reportUsageError(console, kName, error);
    if (given->size() != 1)
        return reportUsageError(console, kName, "asks one device: give one --port N=PORT");
    const TemporaryFile extract(".pcapng");
    AskSettings settings = options->ask;
    DeviceSettings device = options->device;
    device.port = settings.portName = given->front().port;
    if (reader.interfaces().size() > 1) {
        settings.filePath = extract.path();
        Failure failure =
            extractInterface(options->filePath, given->front().interfaceIndex, settings.filePath,
                             "veltrane-cli " VELTRANE_VERSION);
        if (!failure.happened()) failure = reader.open(settings.filePath);
        if (failure.happened()) return reportFailure(console, kName, failure);
    }
    // A rig given the wrong file (a recording of one port holds the device's bursts alone) must
    // not pass for having asked nothing.
    if (const auto refusal = whyNothingToAsk(settings.filePath))
        return reportFailure(console, kName, *refusal);
    OpenedPort opened;
    if (const Failure failure = openDeviceSidePort(device, &opened); failure.happened())
        return reportFailure(console, kName, failure);
    tellOpenedPort(console, kName, opened, false);
    WaitablePort& port = *opened.port;

    // The tally's room is fixed but not small: on the heap, not the stack.
    const auto tally = std::make_unique<AskTally>();
    settings.linesDiffer = [&](const LineDifference& difference) {
        std::fputs(lineDifferenceLine(difference).c_str(), console.out);
        std::fflush(console.out);
    };
    const InterruptWatch interrupts;
    const Failure failure = askDevice(
        reader, port, settings, *tally,
        [&](const AnswerDifference& difference) {
            std::fputs(differenceLine(difference).c_str(), console.out);
            std::fflush(console.out);
        },
        [&] { return interrupts.interrupted(); });
    if (failure.happened()) return reportFailure(console, kName, failure);
    std::fputs(reportText(*tally).c_str(), console.out);
    std::fflush(console.out);
    if (options->reportPath) {
        const Failure written = writeReportFile(*options->reportPath, reportJson(*tally));
        if (written.happened()) return reportFailure(console, kName, written);
    }
    const std::uint64_t differing =
        tally->answersDiffering + tally->answersMissing + tally->answersLate;
    if (differing == 0 && tally->lineStatesDiffering == 0) return kExitSuccess;
    if (differing == 0)
        return reportFailure(console, kName,
                             "the device's lines were not as recorded after " +
                                 std::to_string(tally->lineStatesDiffering) + " of " +
                                 std::to_string(tally->lineStatesCompared) + " answers");
    return reportFailure(console, kName,
                         std::to_string(differing) + " of " + std::to_string(tally->requests) +
                             " answers were not as recorded");
}

std::vector<OptionSpec> askOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--timeout", true, ""});
    options.push_back({"--report", true, ""});
    return options;
}

}  // namespace

Command askCommand() {
    return {kName, "play the host of a conversation file and compare the device's answers",
            "Usage: veltrane-cli ask FILE.pcapng --port PORT|N=PORT [options]\n"
            "Sends each request the host made in FILE.pcapng out of the port, with its recorded\n"
            "spacing and pause after the previous answer, waits for the device's answer and\n"
            "compares it with the recorded one. Each answer that differs gets a line: the\n"
            "request's number and recorded time, the first differing byte, and what was\n"
            "expected and what came, in hex. Then a report: requests, answers matched,\n"
            "differing, missing and late, and the device's answer time (p50, p99, max).\n"
            "An answer none of whose bytes came within --timeout counts as late, not as\n"
            "matched, even when its bytes come before the next request and are right.\n"
            "What the host did to the line (control lines, breaks, settings), where the file\n"
            "keeps it, is told to the port before the next request; where the file and the\n"
            "port both show the device's lines, they are compared after each answer.\n"
            "Of a file of several ports (interfaces, as info lists them), --port N=PORT asks\n"
            "the device of interface N (its number from 1 or its recorded port name).\n\n"
            "Options:\n" +
                lineOptionsHelp() +
                "      --timeout MS       wait this long for each answer (the recorded answer's\n"
                "                         time plus 1000)\n"
                "      --report FILE      also write the report as JSON into FILE\n"
                "  -h, --help             this help\n\n"
                "Exit status: 0 when every answer was as recorded, 1 when one was not or the\n"
                "file or the port failed, 2 for a wrong command line. Ctrl+C stops asking;\n"
                "the report covers the answers compared.\n",
            askOptions(), runAsk};
}
