#include "cli/PlayCommand.h"

#include <chrono>
#include <cmath>
#include <optional>
#include <string>

#include "cli/CommandWorkerRun.h"
#include "cli/FailureLine.h"
#include "cli/InterfacePorts.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "cli/OverwriteRefusal.h"
#include "cli/PlayTiming.h"
#include "cli/PortRemarks.h"
#include "cli/ProgressLine.h"
#include "cli/ReportFile.h"
#include "conversation/ConversationFileName.h"
#include "conversation/ConversationReader.h"
#include "engine/BisectingChunkSeek.h"
#include "engine/SerialFile.h"
#include "workers/ChunkTiming.h"
#include "workers/ConversationPlayback.h"
#include "workers/PerfCounter.h"
#include "workers/PortOpening.h"
#include "workers/ReconnectingPort.h"
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
    std::vector<std::string> ports;  // every --port as given
    std::uint32_t fromTenths = 0;
    std::uint64_t fromMicros = 0;  // a conversation file plays from the microsecond
    double speed = 1.0;
    long long passes = 1;  // 0: until Ctrl+C
    std::optional<std::string> reportPath;
    std::optional<std::string> logPath;
    bool reconnect = false;
};

std::optional<PlayOptions> playOptionsFrom(const Arguments& arguments, std::string* error) {
    if (arguments.positionals().size() != 1) {
        *error = "needs one serial or conversation file to play";
        return std::nullopt;
    }
    PlayOptions options;
    options.filePath = arguments.positionals()[0];
    const auto device = deviceSettingsFrom(arguments, error);
    if (!device) return std::nullopt;
    options.device = *device;
    options.ports = arguments.values("--port");
    if (options.ports.size() > 1 && !namesConversationFile(options.filePath)) {
        *error = "a serial file plays out of one port";
        return std::nullopt;
    }
    if (const auto text = arguments.value("--from")) {
        const auto seconds = parseDecimal(*text, 0.0, 4.0e8);
        if (!seconds) {
            *error = "--from " + *text + " is not a number of seconds";
            return std::nullopt;
        }
        options.fromTenths = static_cast<std::uint32_t>(std::llround(*seconds * 10.0));
        options.fromMicros = static_cast<std::uint64_t>(std::llround(*seconds * 1e6));
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
    options.reconnect = arguments.has("--reconnect");
    if (auto refusal =
            overwriteRefusal({{options.reportPath, "write the report into"},
                              {options.logPath, "write the log into"}},
                             {{options.filePath, inputWords(options.filePath, "being played")}})) {
        *error = std::move(*refusal);
        return std::nullopt;
    }
    return options;
}

// The file opens and holds something to play from the start position; else why not.
std::optional<std::string> whyUnplayable(const PlayOptions& options) {
    SerialFileReader file;
    if (!file.open(options.filePath))
        return failureLine(
            fileFailure(Failure::Kind::OpenInput, options.filePath, lastCLibraryError()));
    if (options.fromTenths > 0 && !seekChunk(file, options.fromTenths)) {
        if (file.readFailed()) {
            return failureLine(fileFailure(Failure::Kind::ReadInput, options.filePath,
                                           cLibraryError(file.readError())));
        }
        return options.filePath + " holds nothing at or after --from";
    }
    return std::nullopt;
}

WorkerJob playJobFrom(const PlayOptions& options, ChunkTimingObserver& timing) {
    WorkerJob job;
    job.filePath = options.filePath;
    job.device = options.device;
    job.startPosition = options.fromTenths;
    job.speed = options.speed;
    job.reconnect = options.reconnect;
    if (options.logPath) {
        job.log.loggingOn = true;
        job.log.logFile = *options.logPath;
    }
    job.chunkTiming = &timing;
    return job;
}

// How the passes ended: the failure that ended them, if any, and what all of them sent.
struct PlayWait {
    bool started = true;
    Failure failure;
    std::uint64_t chunks = 0;
    std::uint64_t bytes = 0;
};

// Plays the passes one run after another, drawing the progress of all of them, until the last
// pass, Ctrl+C or a failure.
PlayWait playAndDraw(const PlayOptions& options, WorkerJob job, CommandWorkerRun& worker,
                     const InterruptWatch& interrupts, Console& console) {
    ProgressLine progress(console);
    const Clock::time_point start = Clock::now();
    const auto seconds = [&] {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    PlayWait wait;
    for (long long pass = 1; options.passes == 0 || pass <= options.passes; ++pass) {
        if (interrupts.interrupted()) break;
        job.log.appendFile = pass > 1;  // every pass of a loop into the one log
        const std::uint32_t runNumber = worker.start(playbackWorker, job);
        while (!worker.waitForEnd(kProgressStep)) {
            if (interrupts.interrupted()) worker.stop();
            progress.show(seconds(), wait.chunks + worker.state().chunksMoved.load(),
                          wait.bytes + worker.state().bytesMoved.load());
        }
        worker.finish();
        wait.started = worker.started();
        wait.failure = worker.state().failureOf(runNumber);
        if (!wait.started || wait.failure.happened()) return wait;
        wait.chunks += worker.state().chunksMoved.load();
        wait.bytes += worker.state().bytesMoved.load();
    }
    progress.show(seconds(), wait.chunks, wait.bytes);  // the totals, not the last refresh's
    return wait;
}

// A replay that played or was stopped prints its timing report; a failure ends it without one.
int wordOutcome(const PlayOptions& options, const PlayWait& wait, const PlayTimingTally& tally,
                Console& console) {
    if (!wait.started && !wait.failure.happened())
        return reportFailure(console, kName, "playing did not start");
    if (wait.failure.happened()) return reportFailure(console, kName, wait.failure);
    const PlayTimingSummary summary = tally.summary();
    std::fputs(playTimingText(summary).c_str(), console.out);
    std::fflush(console.out);
    if (options.reportPath) {
        const Failure failure = writeReportFile(*options.reportPath, playTimingJson(summary));
        if (failure.happened()) return reportFailure(console, kName, failure);
    }
    if (summary.refusedChunks > 0) {
        return reportFailure(console, kName,
                             "port " + options.device.port + " refused " +
                                 std::to_string(summary.refusedChunks) + " chunks");
    }
    return kExitSuccess;
}

// The ports that play a conversation file, an entry per interface (empty where none plays).
struct ConversationPorts {
    std::vector<OpenedPort> opened;
    std::vector<PlayedPort> played;
    // Those that reconnect: a replay only writes, so it looks after them itself.
    std::vector<ReconnectingPort*> reconnecting;

    // Reopens what came back and tells what went and came.
    void lookAfter(PortRemarks& remarks) {
        for (ReconnectingPort* port : reconnecting) {
            port->lookAfter();
            remarks.add(port->takeRemarks());
        }
    }
};

// Each --port against the file's interfaces, then each port opened with the line settings.
Failure openConversationPorts(const PlayOptions& options, ConversationPorts& ports,
                              Console& console, std::string* usageError) {
    ConversationReader reader;
    if (const Failure failure = reader.open(options.filePath); failure.happened()) return failure;
    const auto given =
        interfacePortsFrom(options.ports, reader.interfaces(), options.filePath, usageError);
    if (!given) return {};
    const std::size_t interfaces = std::max<std::size_t>(1, reader.interfaces().size());
    ports.opened.resize(interfaces);
    ports.played.resize(interfaces);
    for (const InterfacePort& port : *given) {
        DeviceSettings settings = options.device;
        settings.port = port.port;
        OpenedPort& opened = ports.opened[port.interfaceIndex];
        if (const Failure failure = openDeviceSide(settings, options.reconnect, &opened);
            failure.happened())
            return failure;
        tellOpenedPort(console, kName, opened, false);
        ports.played[port.interfaceIndex] = {opened.port.get(), port.port};
        if (auto* reconnecting = dynamic_cast<ReconnectingPort*>(opened.port.get()))
            ports.reconnecting.push_back(reconnecting);
    }
    return {};
}

// One pass of a conversation file's device bursts, drawing the progress of all passes so far.
Failure playConversationPass(const PlayOptions& options, ConversationPorts& ports,
                             ChunkTimingObserver& timing, bool append,
                             const InterruptWatch& interrupts, ProgressLine& progress,
                             PortRemarks& remarks, Clock::time_point start, PlayWait& wait) {
    ConversationReader reader;
    if (const Failure failure = reader.open(options.filePath); failure.happened()) return failure;
    ConversationPlay play;
    play.filePath = options.filePath;
    play.fromMicros = options.fromMicros;
    play.speed = options.speed;
    play.timing = &timing;
    if (options.logPath) {
        play.log.loggingOn = true;
        play.log.logFile = *options.logPath;
        play.log.appendFile = append;
    }
    ConversationPlayCounts counts;
    Clock::time_point drawn = Clock::now();
    const Failure failure = playConversation(
        reader, ports.played, play, counts, [&](const ConversationPlayCounts& sofar) {
            ports.lookAfter(remarks);
            if (Clock::now() - drawn >= kProgressStep) {
                remarks.tell([&progress] { progress.end(); });
                drawn = Clock::now();
                progress.show(std::chrono::duration<double>(drawn - start).count(),
                              wait.chunks + sofar.bursts, wait.bytes + sofar.bytes);
            }
            return !interrupts.interrupted();
        });
    wait.chunks += counts.bursts;
    wait.bytes += counts.bytes;
    return failure;
}

// The devices' side of a conversation file, each interface's out of its port, on one
// microsecond schedule, for as many passes as asked; the timing report is the one a serial file
// gets.
int runConversationPlay(const PlayOptions& options, Console& console) {
    ConversationPorts ports;
    std::string usageError;
    if (const Failure failure = openConversationPorts(options, ports, console, &usageError);
        failure.happened())
        return reportFailure(console, kName, failure);
    if (!usageError.empty()) return reportUsageError(console, kName, usageError);
    PlayTimingTally tally(perfCounterFrequency());
    TallyingObserver timing(tally);
    const InterruptWatch interrupts;
    ProgressLine progress(console);
    PortRemarks remarks(console, kName, false);
    const Clock::time_point start = Clock::now();
    PlayWait wait;
    for (long long pass = 1; options.passes == 0 || pass <= options.passes; ++pass) {
        if (interrupts.interrupted()) break;
        const std::uint64_t before = wait.chunks;
        wait.failure = playConversationPass(options, ports, timing, pass > 1, interrupts, progress,
                                            remarks, start, wait);
        if (wait.failure.happened()) break;
        if (pass == 1 && wait.chunks == before && options.fromMicros > 0 &&
            !interrupts.interrupted()) {
            return reportFailure(console, kName,
                                 options.filePath + " holds nothing at or after --from");
        }
    }
    progress.end();
    remarks.tell();
    progress.show(std::chrono::duration<double>(Clock::now() - start).count(), wait.chunks,
                  wait.bytes);
    progress.end();
    // The outcome names the ports themselves, not how --port paired them.
    PlayOptions told = options;
    told.device.port.clear();
    for (const PlayedPort& played : ports.played) {
        if (played.port) told.device.port += (told.device.port.empty() ? "" : ", ") + played.name;
    }
    return wordOutcome(told, wait, tally, console);
}

int runPlay(const Arguments& arguments, Console& console) {
    std::string error;
    const auto options = playOptionsFrom(arguments, &error);
    if (!options) return reportUsageError(console, kName, error);
    if (namesConversationFile(options->filePath)) return runConversationPlay(*options, console);
    if (const auto why = whyUnplayable(*options)) return reportFailure(console, kName, *why);
    PlayTimingTally tally(perfCounterFrequency());
    TallyingObserver timing(tally);
    // Watched until the outcome is told: a closing console waits for the last line.
    const InterruptWatch interrupts;
    CommandWorkerRun worker;
    const PlayWait wait =
        playAndDraw(*options, playJobFrom(*options, timing), worker, interrupts, console);
    return wordOutcome(*options, wait, tally, console);
}

std::vector<OptionSpec> playOptions() {
    std::vector<OptionSpec> options = lineOptions();
    options.push_back({"--from", true, ""});
    options.push_back({"--speed", true, ""});
    options.push_back({"--loop", true, ""});
    options.push_back({"--report", true, ""});
    options.push_back({"--log", true, ""});
    options.push_back(reconnectOption());
    return options;
}

}  // namespace

Command playCommand() {
    return {kName, "play a serial file out of a serial port with its recorded timing",
            "Usage: veltrane-cli play FILE.ser --port PORT [options]\n"
            "       veltrane-cli play FILE.pcapng --port PORT [options]\n"
            "       veltrane-cli play FILE.pcapng --port N=PORT [--port N=PORT ...] [options]\n"
            "Sends each chunk of FILE.ser when its recorded time comes, as the window does, then\n"
            "prints a timing report: chunks and bytes sent, each write's lateness against its\n"
            "due instant (p50, p99, max), chunks later than 1 ms, and the first and last\n"
            "chunk's lateness. Ctrl+C stops playing; the report covers what was sent.\n"
            "A conversation file (.pcapng, .pcap) plays the device's bursts on their\n"
            "microsecond schedule, each burst a chunk, and --from to the microsecond; the\n"
            "host's bursts are left out. A file of several ports (interfaces, as info lists\n"
            "them) takes a --port N=PORT for each to play, N its number from 1 or its recorded\n"
            "port name: each port plays its own device, and the bursts of different ports keep\n"
            "their recorded order and spacing.\n\n"
            "Options:\n" +
                lineOptionsHelp() +
                "      --from SECONDS     start at this time of the recording (tenths)\n"
                "      --speed FACTOR     play FACTOR times as fast, 0.1 to 100 (1)\n"
                "      --loop COUNT       play COUNT times, or forever until Ctrl+C (1)\n"
                "      --report FILE      also write the report as JSON into FILE\n"
                "      --log FILE         log the playback's events into FILE\n" +
                reconnectHelp() +
                "  -q, --quiet            no progress\n"
                "  -h, --help             this help\n\n"
                "Exit status: see veltrane-cli --help; chunks the port refused count as a\n"
                "failure.\n",
            playOptions(), runPlay};
}
