#include "cli/RecordCommand.h"

#include <chrono>
#include <optional>
#include <string>

#include "cli/CommandWorkerRun.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/ProgressLine.h"
#include "workers/FileFailure.h"
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

int runRecord(const Arguments& arguments, Console& console) {
    if (arguments.positionals().size() != 1) {
        return reportUsageError(console, kName, "needs one file to record into");
    }
    std::string error;
    const auto device = deviceSettingsFrom(arguments, &error);
    if (!device) return reportUsageError(console, kName, error);
    std::optional<double> duration;
    std::optional<double> idleStop;
    if (!secondsOption(arguments, "--duration", &duration, &error) ||
        !secondsOption(arguments, "--idle-stop", &idleStop, &error)) {
        return reportUsageError(console, kName, error);
    }
    if (arguments.has("--log-date") && !arguments.has("--log")) {
        return reportUsageError(console, kName, "--log-date needs --log");
    }

    WorkerJob job;
    job.filePath = arguments.positionals()[0];
    job.device = *device;
    if (const auto log = arguments.value("--log")) {
        job.log.loggingOn = true;
        job.log.logFile = *log;
        job.log.showDate = arguments.has("--log-date");
    }

    const InterruptWatch interrupts;
    CommandWorkerRun worker;
    const std::uint32_t runNumber = worker.start(recordingWorker, job);
    ProgressLine progress(console);
    bool announced = false;
    bool stopAsked = false;
    Clock::time_point start = Clock::now();
    Clock::time_point lastData = start;
    std::uint64_t lastBytes = 0;
    while (!worker.waitForEnd(kProgressStep)) {
        if (!worker.started()) {
            if (interrupts.interrupted()) {
                worker.stop();
                stopAsked = true;
            }
            continue;
        }
        if (!announced) {
            announced = true;
            start = lastData = Clock::now();
            // Scripts may wait for this line before the device starts sending.
            if (!arguments.has("--quiet")) {
                std::fprintf(console.err, "veltrane-cli record: recording %s into %s\n",
                             job.device.port.c_str(), job.filePath.c_str());
            }
        }
        const std::uint64_t bytes = worker.state().bytesMoved.load();
        if (bytes != lastBytes) {
            lastBytes = bytes;
            lastData = Clock::now();
        }
        progress.show(secondsSince(start), worker.state().chunksMoved.load(), bytes);
        const bool idle = idleStop && secondsSince(lastData) >= *idleStop;
        const bool timeUp = duration && secondsSince(start) >= *duration;
        if (!stopAsked && (interrupts.interrupted() || idle || timeUp)) {
            worker.stop();
            stopAsked = true;
        }
    }
    worker.finish();
    if (announced) {
        progress.show(secondsSince(start), worker.state().chunksMoved.load(),
                      worker.state().bytesMoved.load());  // the totals, not the last refresh's
    }
    progress.end();

    if (!worker.started()) {
        const std::string why = worker.state().failureTextOf(runNumber);
        return reportFailure(console, kName, why.empty() ? "the recording did not start" : why);
    }
    const std::uint32_t chunks = worker.state().chunksMoved.load();
    const std::uint64_t bytes = worker.state().bytesMoved.load();
    if (const FileFailure failure = worker.state().fileFailureOf(runNumber);
        failure.kind != FileFailure::Kind::None) {
        return reportFailure(console, kName,
                             "cannot write " + job.filePath + ": " + fileFailureText(failure) +
                                 "; what was recorded before is kept");
    }
    if (!stopAsked) {
        // The worker ends by itself only when the port fails: the device went away.
        const std::string why = worker.state().failureTextOf(runNumber);
        return reportFailure(console, kName,
                             (why.empty() ? "the port failed" : why) + "; the recording ended, " +
                                 std::to_string(bytes) + " bytes are kept in " + job.filePath);
    }
    if (!arguments.has("--quiet")) {
        std::fprintf(console.err, "veltrane-cli record: %u chunks, %llu bytes in %s\n", chunks,
                     static_cast<unsigned long long>(bytes), job.filePath.c_str());
    }
    return kExitSuccess;
}

std::vector<OptionSpec> recordOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--duration", true, ""});
    options.push_back({"--idle-stop", true, ""});
    options.push_back({"--log", true, ""});
    options.push_back({"--log-date", false, ""});
    return options;
}

}  // namespace

Command recordCommand() {
    return {kName, "record what arrives on a serial port into a serial file",
            "Usage: veltrane-cli record OUT.ser --port PORT [options]\n"
            "Records what arrives on the port into OUT.ser, one chunk per burst, as the window\n"
            "does, until Ctrl+C, --duration, --idle-stop or the device's end. The file is\n"
            "whole and readable whatever ends the recording.\n\nOptions:\n" +
                lineOptionsHelp() +
                "      --duration SECONDS  stop after this long\n"
                "      --idle-stop SECONDS stop after this long without data\n"
                "      --log FILE         log the recording's events into FILE\n"
                "      --log-date         start each log line with the date\n"
                "  -q, --quiet            no progress and no messages but errors\n"
                "  -h, --help             this help\n\n"
                "Exit status: 0 when stopped as asked (Ctrl+C, --duration, --idle-stop); 1 when\n"
                "the port or the file failed, also when the device went away part-way (what was\n"
                "recorded is kept); 2 when the command line was wrong.\n",
            recordOptions(), runRecord};
}
