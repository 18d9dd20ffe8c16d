#include "cli/PlayCommand.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

#include "cli/CommandWorkerRun.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/PlayTiming.h"
#include "cli/ProgressLine.h"
#include "engine/BisectingChunkSeek.h"
#include "engine/SerialFile.h"
#include "workers/ChunkTiming.h"
#include "workers/FileFailure.h"
#include "workers/PerfCounter.h"
#include "workers/Workers.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressStep = std::chrono::milliseconds(250);
const char* const kName = "play";

// Adds each chunk's timing into the tally on the worker's thread as it is sent: the tally's room
// is fixed and taken before the first pass, so nothing grows with the file or the passes, and
// the worker never waits for an allocation while its next chunk may be due. The tally is read
// only once the worker has ended.
class TallyingObserver : public ChunkTimingObserver {
public:
    explicit TallyingObserver(PlayTimingTally& tally) : tally_(tally) {}
    void chunkSent(const ChunkTiming& timing) override { tally_.add(timing); }

private:
    PlayTimingTally& tally_;
};

struct PlayOptions {
    std::string filePath;
    DeviceSettings device;
    std::uint32_t fromTenths = 0;
    double speed = 1.0;
    long long passes = 1;  // 0: until Ctrl+C
    std::optional<std::string> reportPath;
    std::optional<std::string> logPath;
};

std::optional<PlayOptions> playOptionsFrom(const Arguments& arguments, std::string* error) {
    if (arguments.positionals().size() != 1) {
        *error = "needs one serial file to play";
        return std::nullopt;
    }
    PlayOptions options;
    options.filePath = arguments.positionals()[0];
    const auto device = deviceSettingsFrom(arguments, error);
    if (!device) return std::nullopt;
    options.device = *device;
    if (const auto text = arguments.value("--from")) {
        const auto seconds = parseDecimal(*text, 0.0, 4.0e8);
        if (!seconds) {
            *error = "--from " + *text + " is not a number of seconds";
            return std::nullopt;
        }
        options.fromTenths = static_cast<std::uint32_t>(std::llround(*seconds * 10.0));
    }
    if (const auto text = arguments.value("--speed")) {
        // Below 0.1 a due instant of the longest file would not fit 64 bits.
        const auto speed = parseDecimal(*text, 0.1, 100.0);
        if (!speed) {
            *error = "--speed " + *text + " is not a factor from 0.1 to 100";
            return std::nullopt;
        }
        options.speed = *speed;
    }
    if (const auto text = arguments.value("--loop")) {
        const auto count = *text == "forever" ? std::optional<long long>(0)
                                              : parseInteger(*text, 1, 1'000'000'000);
        if (!count) {
            *error = "--loop " + *text + " is neither a count nor forever";
            return std::nullopt;
        }
        options.passes = *count;
    }
    options.reportPath = arguments.value("--report");
    options.logPath = arguments.value("--log");
    return options;
}

// The file opens and holds something to play from the start position; else why not.
std::optional<std::string> whyUnplayable(const PlayOptions& options) {
    SerialFileReader file;
    if (!file.open(options.filePath)) {
        const int error = errno;
        return "cannot open " + options.filePath + ": " + std::strerror(error);
    }
    if (options.fromTenths > 0 && !seekChunk(file, options.fromTenths)) {
        if (file.readFailed()) {
            return "cannot read " + options.filePath + ": " + std::strerror(file.readError());
        }
        return options.filePath + " holds nothing at or after --from";
    }
    return std::nullopt;
}

bool writeReport(const std::string& path, const std::string& json) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(json.data(), 1, json.size(), file) == json.size();
    return std::fclose(file) == 0 && written;
}

int runPlay(const Arguments& arguments, Console& console) {
    std::string error;
    const auto options = playOptionsFrom(arguments, &error);
    if (!options) return reportUsageError(console, kName, error);
    if (const auto why = whyUnplayable(*options)) return reportFailure(console, kName, *why);

    WorkerJob job;
    job.filePath = options->filePath;
    job.device = options->device;
    job.startPosition = options->fromTenths;
    job.speed = options->speed;
    if (options->logPath) {
        job.log.loggingOn = true;
        job.log.logFile = *options->logPath;
    }
    PlayTimingTally tally(perfCounterFrequency());
    TallyingObserver timing(tally);
    job.chunkTiming = &timing;

    const InterruptWatch interrupts;
    CommandWorkerRun worker;
    ProgressLine progress(console);
    const Clock::time_point start = Clock::now();
    std::uint64_t chunksBefore = 0;
    std::uint64_t bytesBefore = 0;
    for (long long pass = 1; options->passes == 0 || pass <= options->passes; ++pass) {
        if (interrupts.interrupted()) break;
        job.log.appendFile = pass > 1;  // every pass of a loop into the one log
        const std::uint32_t runNumber = worker.start(playbackWorker, job);
        while (!worker.waitForEnd(kProgressStep)) {
            if (interrupts.interrupted()) worker.stop();
            progress.show(std::chrono::duration<double>(Clock::now() - start).count(),
                          chunksBefore + worker.state().chunksMoved.load(),
                          bytesBefore + worker.state().bytesMoved.load());
        }
        worker.finish();
        if (!worker.started()) {
            progress.end();
            const std::string why = worker.state().failureTextOf(runNumber);
            return reportFailure(console, kName, why.empty() ? "playing did not start" : why);
        }
        if (const FileFailure failure = worker.state().fileFailureOf(runNumber);
            failure.kind != FileFailure::Kind::None) {
            progress.end();
            return reportFailure(console, kName,
                                 "cannot read " + job.filePath + ": " + fileFailureText(failure));
        }
        chunksBefore += worker.state().chunksMoved.load();
        bytesBefore += worker.state().bytesMoved.load();
    }
    progress.show(std::chrono::duration<double>(Clock::now() - start).count(), chunksBefore,
                  bytesBefore);  // the totals, not the last refresh's
    progress.end();

    const PlayTimingSummary summary = tally.summary();
    std::fputs(playTimingText(summary).c_str(), console.out);
    std::fflush(console.out);
    if (options->reportPath && !writeReport(*options->reportPath, playTimingJson(summary))) {
        const int reason = errno;
        return reportFailure(console, kName,
                             "cannot write " + *options->reportPath + ": " + std::strerror(reason));
    }
    if (summary.refusedChunks > 0) {
        return reportFailure(console, kName,
                             "port " + job.device.port + " refused " +
                                 std::to_string(summary.refusedChunks) + " chunks");
    }
    return kExitSuccess;
}

std::vector<OptionSpec> playOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--from", true, ""});
    options.push_back({"--speed", true, ""});
    options.push_back({"--loop", true, ""});
    options.push_back({"--report", true, ""});
    options.push_back({"--log", true, ""});
    return options;
}

}  // namespace

Command playCommand() {
    return {kName, "play a serial file out of a serial port with its recorded timing",
            "Usage: veltrane-cli play FILE.ser --port PORT [options]\n"
            "Sends each chunk of FILE.ser when its recorded time comes, as the window does, then\n"
            "prints a timing report: chunks and bytes sent, each write's lateness against its\n"
            "due instant (p50, p99, max), chunks later than 1 ms, and the first and last\n"
            "chunk's lateness. Ctrl+C stops playing; the report covers what was sent.\n\n"
            "Options:\n" +
                lineOptionsHelp() +
                "      --from SECONDS     start at this time of the recording (tenths)\n"
                "      --speed FACTOR     play FACTOR times as fast, 0.1 to 100 (1)\n"
                "      --loop COUNT       play COUNT times, or forever until Ctrl+C (1)\n"
                "      --report FILE      also write the report as JSON into FILE\n"
                "      --log FILE         log the playback's events into FILE\n"
                "  -q, --quiet            no progress\n"
                "  -h, --help             this help\n\n"
                "Exit status: 0 when played as asked or stopped by Ctrl+C; 1 when the port or the\n"
                "file failed or the port refused chunks; 2 when the command line was wrong.\n",
            playOptions(), runPlay};
}
