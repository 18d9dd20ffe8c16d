#include "cli/RecordCommand.h"

#include <chrono>
#include <optional>
#include <string>

#include "cli/CommandWorkerRun.h"
#include "cli/FailureLine.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/PortRemarks.h"
#include "cli/ProgressLine.h"
#include "conversation/ConversationFileName.h"
#include "conversation/ConversationWriter.h"
#include "workers/ConversationRecording.h"
#include "workers/PortOpening.h"
#include "workers/ReconnectingPort.h"
#include "workers/Workers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressStep = std::chrono::milliseconds(250);
const char* const kName = "record";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A number of seconds given to an option, or nothing with the mistake in *error.
bool secondsOption(const Arguments& arguments, const char* name, std::optional<double>* seconds,
                   std::string* error) {
    const auto text = arguments.value(name);
    if (!text) return true;
    *seconds = parseDecimal(*text, 0.1, 1e7);
    if (!*seconds) *error = std::string(name) + " " + *text + " is not a number of seconds";
    return seconds->has_value();
}

// What the command line asks for: the run's inputs and when to stop it.
struct RecordRequest {
    WorkerJob job;
    // Every --port in the order given; job.device.port is the first.
    std::vector<std::string> ports;
    std::optional<double> duration;
    std::optional<double> idleStop;
    bool quiet = false;
    bool reconnect = false;
};

std::optional<RecordRequest> recordRequestFrom(const Arguments& arguments, std::string* error) {
    if (arguments.positionals().size() != 1) {
        *error = "needs one file to record into";
        return std::nullopt;
    }
    RecordRequest request;
    const auto device = deviceSettingsFrom(arguments, error);
    if (!device) return std::nullopt;
    if (!secondsOption(arguments, "--duration", &request.duration, error) ||
        !secondsOption(arguments, "--idle-stop", &request.idleStop, error)) {
        return std::nullopt;
    }
    if (arguments.has("--log-date") && !arguments.has("--log")) {
        *error = "--log-date needs --log";
        return std::nullopt;
    }
    request.quiet = arguments.has("--quiet");
    request.reconnect = arguments.has("--reconnect");
    WorkerJob& job = request.job;
    job.reconnect = request.reconnect;
    job.filePath = arguments.positionals()[0];
    job.device = *device;
    request.ports = arguments.values("--port");
    if (request.ports.size() > 1 && !namesConversationFile(job.filePath)) {
        *error = "a serial file holds one port: record several into a .pcapng file";
        return std::nullopt;
    }
    for (std::size_t i = 0; i < request.ports.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (request.ports[i] == request.ports[j]) {
                *error = "--port " + request.ports[i] + " is given twice";
                return std::nullopt;
            }
        }
    }
    if (const auto log = arguments.value("--log")) {
        job.log.loggingOn = true;
        job.log.logFile = *log;
        job.log.showDate = arguments.has("--log-date");
    }
    if (auto refusal =
            overwriteRefusal({{arguments.value("--log"), "write the log into"}},
                             {{job.filePath, inputWords(job.filePath, "being recorded into")}})) {
        *error = std::move(*refusal);
        return std::nullopt;
    }
    return request;
}

// How the wait ended: whether the run began, and whether the command asked it to stop.
struct RecordWait {
    bool started = false;
    bool stopAsked = false;
};

// Waits for the run's end, drawing its progress, and stops it at Ctrl+C, at --duration or after
// --idle-stop without data; the clocks start once the port and the file are open.
RecordWait waitAndDraw(const RecordRequest& request, CommandWorkerRun& worker,
                       const InterruptWatch& interrupts, Console& console) {
    ProgressLine progress(console);
    RecordWait wait;
    Clock::time_point start = Clock::now();
    Clock::time_point lastData = start;
    std::uint64_t lastBytes = 0;
    const SharedState& state = worker.state();
    while (!worker.waitForEnd(kProgressStep)) {
        if (!worker.started()) {
            if (interrupts.interrupted() && !wait.stopAsked) {
                worker.stop();
                wait.stopAsked = true;
            }
            continue;
        }
        if (!wait.started) {
            wait.started = true;
            start = lastData = Clock::now();
            // Scripts may wait for this line before the device starts sending.
            if (!request.quiet) {
                std::fprintf(console.err, "veltrane-cli record: recording %s into %s\n",
                             request.job.device.port.c_str(), request.job.filePath.c_str());
            }
        }
        const std::uint64_t bytes = state.bytesMoved.load();
        if (bytes != lastBytes) {
            lastBytes = bytes;
            lastData = Clock::now();
        }
        progress.show(secondsSince(start), state.chunksMoved.load(), bytes);
        const bool idle = request.idleStop && secondsSince(lastData) >= *request.idleStop;
        const bool timeUp = request.duration && secondsSince(start) >= *request.duration;
        if (!wait.stopAsked && (interrupts.interrupted() || idle || timeUp)) {
            worker.stop();
            wait.stopAsked = true;
        }
    }
    worker.finish();
    if (wait.started) {
        progress.show(secondsSince(start), state.chunksMoved.load(),
                      state.bytesMoved.load());  // the totals, not the last refresh's
    }
    progress.end();
    return wait;
}

// A recording stopped as asked ends well; one that did not start, lost its file or ended by
// itself (its port failed: the device went away) is a failure, with what was kept.
int wordOutcome(const RecordRequest& request, CommandWorkerRun& worker, std::uint32_t runNumber,
                const RecordWait& wait, Console& console) {
    const Failure failure = worker.state().failureOf(runNumber);
    if (!worker.started()) {
        if (failure.happened()) return reportFailure(console, kName, failure);
        return reportFailure(console, kName, "the recording did not start");
    }
    const std::string& path = request.job.filePath;
    const std::uint32_t chunks = worker.state().chunksMoved.load();
    const std::uint64_t bytes = worker.state().bytesMoved.load();
    if (failure.kind == Failure::Kind::WriteOutput)
        return reportFailure(console, kName, failure, "what was recorded before is kept");
    if (!wait.stopAsked) {
        const std::string kept =
            "the recording ended, " + std::to_string(bytes) + " bytes are kept in " + path;
        if (failure.happened()) return reportFailure(console, kName, failure, kept);
        return reportFailure(console, kName, "the port failed; " + kept);
    }
    if (!request.quiet) {
        std::fprintf(console.err, "veltrane-cli record: %u chunks, %llu bytes in %s\n", chunks,
                     static_cast<unsigned long long>(bytes), path.c_str());
    }
    return kExitSuccess;
}

// The ports' bytes into a conversation file, all as the devices', one interface a port, on the
// command's own thread: it waits on every port at once. Stops as a serial recording does; the
// file is closed whole whatever ends it.
int runConversationRecord(const RecordRequest& request, Console& console) {
    const WorkerJob& job = request.job;
    const InterruptWatch interrupts;
    PortRemarks remarks(console, kName, request.quiet);
    std::vector<OpenedPort> opened(request.ports.size());
    std::vector<RecordedPort> recorded;
    ConversationHeader header{"veltrane-cli " VELTRANE_VERSION, {}};
    for (std::size_t i = 0; i < request.ports.size(); ++i) {
        DeviceSettings settings = job.device;
        settings.port = request.ports[i];
        if (const Failure failure = openDeviceSide(settings, request.reconnect, &opened[i]);
            failure.happened())
            return reportFailure(console, kName, failure);
        tellOpenedPort(console, kName, opened[i], request.quiet);
        recorded.push_back({opened[i].port.get(), settings.port});
        header.interfaces.push_back({settings.port, lineSettingsText(settings)});
    }
    ConversationWriter writer;
    if (const Failure failure = writer.open(job.filePath, header); failure.happened())
        return reportFailure(console, kName, failure);
    if (!request.quiet) {
        std::string names;
        for (const std::string& port : request.ports) names += (names.empty() ? "" : ", ") + port;
        std::fprintf(console.err, "veltrane-cli record: recording %s into %s\n", names.c_str(),
                     job.filePath.c_str());
    }
    ProgressLine progress(console);
    const Clock::time_point start = Clock::now();
    Clock::time_point lastData = start;
    std::uint64_t lastBytes = 0;
    ConversationRecordCounts counts;
    const Failure failure = recordConversation(
        recorded, writer, job.log, counts,
        [&](const ConversationRecordCounts& sofar) {
            if (sofar.bytes != lastBytes) {
                lastBytes = sofar.bytes;
                lastData = Clock::now();
            }
            remarks.tell([&progress] { progress.end(); });
            progress.show(secondsSince(start), sofar.bursts, sofar.bytes);
            const bool idle = request.idleStop && secondsSince(lastData) >= *request.idleStop;
            const bool timeUp = request.duration && secondsSince(start) >= *request.duration;
            return !(interrupts.interrupted() || idle || timeUp);
        },
        [&remarks](const std::string& remark) { remarks.add(remark); });
    const Failure closed = writer.close();
    progress.end();
    remarks.tell();
    progress.show(secondsSince(start), counts.bursts, counts.bytes);
    progress.end();
    if (failure.kind == Failure::Kind::WriteOutput || closed.happened()) {
        return reportFailure(console, kName, failure.happened() ? failure : closed,
                             "what was recorded before is kept");
    }
    if (failure.happened()) {
        return reportFailure(console, kName, failure,
                             "the recording ended, " + std::to_string(counts.bytes) +
                                 " bytes are kept in " + job.filePath);
    }
    if (!request.quiet) {
        std::fprintf(console.err, "veltrane-cli record: %llu chunks, %llu bytes in %s\n",
                     static_cast<unsigned long long>(counts.bursts),
                     static_cast<unsigned long long>(counts.bytes), job.filePath.c_str());
    }
    return kExitSuccess;
}

int runRecord(const Arguments& arguments, Console& console) {
    std::string error;
    const auto request = recordRequestFrom(arguments, &error);
    if (!request) return reportUsageError(console, kName, error);
    if (namesConversationFile(request->job.filePath))
        return runConversationRecord(*request, console);
    // Watched until the outcome is told: a closing console waits for the last line.
    const InterruptWatch interrupts;
    CommandWorkerRun worker;
    const std::uint32_t runNumber = worker.start(recordingWorker, request->job);
    const RecordWait wait = waitAndDraw(*request, worker, interrupts, console);
    return wordOutcome(*request, worker, runNumber, wait, console);
}

std::vector<OptionSpec> recordOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--duration", true, ""});
    options.push_back({"--idle-stop", true, ""});
    options.push_back({"--log", true, ""});
    options.push_back({"--log-date", false, ""});
    options.push_back(reconnectOption());
    return options;
}

}  // namespace

Command recordCommand() {
    return {kName, "record what arrives on a serial port into a serial file",
            "Usage: veltrane-cli record OUT.ser --port PORT [options]\n"
            "       veltrane-cli record OUT.pcapng --port PORT [--port PORT ...] [options]\n"
            "Records what arrives on the port into OUT.ser, one chunk per burst, as the window\n"
            "does, until Ctrl+C, --duration, --idle-stop or the device's end. The file is\n"
            "whole and readable whatever ends the recording. OUT.pcapng makes a conversation\n"
            "file instead: each burst with its time to the microsecond, all marked as the\n"
            "device's. It may record several ports at once, each --port an interface of the\n"
            "file in the order given, every burst on one clock, so their order across the ports\n"
            "is the true one; the line settings apply to every port.\n\nOptions:\n" +
                lineOptionsHelp() +
                "      --duration SECONDS  stop after this long\n"
                "      --idle-stop SECONDS stop after this long without data\n"
                "      --log FILE         log the recording's events into FILE\n"
                "      --log-date         start each log line with the date\n" +
                reconnectHelp() +
                "  -q, --quiet            no progress and no messages but errors\n"
                "  -h, --help             this help\n\n"
                "Exit status: see veltrane-cli --help.\n",
            recordOptions(), runRecord};
}
