// The two ways the window plays a conversation file: answering as its device, and playing the
// device's bursts on their recorded schedule. Both report as the playback worker does.
#include <algorithm>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>

#include "conversation/ConversationReader.h"
#include "conversation/DeviceStandIn.h"
#include "conversation/InterfaceExtract.h"
#include "conversation/RequestIndex.h"
#include "engine/DebugTrace.h"
#include "engine/TemporaryFile.h"
#include "log/LogWriter.h"
#include "workers/AnswerSources.h"
#include "workers/AnsweringEngine.h"
#include "workers/ConversationPlayback.h"
#include "workers/PlayAnnouncements.h"
#include "workers/PortOpening.h"
#include "workers/RecordedDeviceLines.h"
#include "workers/SharedState.h"
#include "workers/SilenceGap.h"
#include "workers/WorkerJob.h"
#include "workers/Workers.h"

namespace {

constexpr std::uint64_t kMicrosPerTenth = 100000;

std::uint32_t tenthsOf(std::uint64_t micros) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(
        micros / kMicrosPerTenth, std::numeric_limits<std::uint32_t>::max()));
}

// The time of a conversation file's first burst; none when it has none.
std::optional<std::uint64_t> firstBurstMicros(const std::string& path) {
    ConversationReader reader;
    ConversationBurst burst;
    if (reader.open(path).happened() || !reader.next(burst)) return std::nullopt;
    return burst.timeMicros;
}

// What an answering run answers from: the file itself, or for a file of several ports the
// chosen port's bursts alone, written into a temporary file of their own (as if that port had
// been recorded alone).
struct AnsweredFile {
    std::unique_ptr<TemporaryFile> extract;
    std::string path;
    std::string words;  // for the log
    // How long after the whole file's first burst the answered port's first burst came: the
    // stand-in counts from the latter, the window's position from the former.
    std::uint64_t laterMicros = 0;
};

Failure prepareAnsweredFile(const WorkerJob& job, AnsweredFile& answered) {
    answered.path = job.filePath;
    answered.words = job.filePath;
    ConversationReader reader;
    if (Failure failure = reader.open(job.filePath); failure.happened()) return failure;
    if (reader.interfaces().size() <= 1) return {};
    if (job.interfaceIndex >= reader.interfaces().size()) {
        return {Failure::Kind::ReadInput,
                job.filePath,
                {},
                "it has no port " + std::to_string(job.interfaceIndex + 1),
                {}};
    }
    answered.extract = std::make_unique<TemporaryFile>(".pcapng");
    answered.path = answered.extract->path();
    answered.words += " port " + std::to_string(job.interfaceIndex + 1);
    if (Failure failure =
            extractInterface(job.filePath, job.interfaceIndex, answered.path, job.application);
        failure.happened())
        return failure;
    const auto whole = firstBurstMicros(job.filePath);
    const auto port = firstBurstMicros(answered.path);
    if (whole && port && *port > *whole) answered.laterMicros = *port - *whole;
    return {};
}

class WindowAnsweringListener : public AnsweringListener {
public:
    WindowAnsweringListener(SharedState& state, const DeviceStandIn& standIn, LogWriter& log,
                            std::uint64_t laterMicros)
        : state_(state), standIn_(standIn), log_(log), laterMicros_(laterMicros) {}
    bool stopAsked() override { return state_.stopRequested(); }
    void missed(const StandInMiss& miss) override {
        log_.writeLine(miss.unknown ? "Unknown request" : "Request answered out of order");
    }
    void answered(const StandInAnswerNote& note) override {
        if (note.origin == AnswerOrigin::Recording) return;  // the recording's go unlogged here
        log_.writeLine(note.refused ? "Request not answered: " + note.originWords
                                    : "Request answered by " + note.originWords);
    }
    void progress(const StandInCounts& counts) override {
        state_.requestsAnswered.store(counts.answered);
        state_.requestsUnknown.store(counts.unknown);
        // The slider stands where the request answered last is in the file.
        if (const auto at = standIn_.lastAnsweredMicros())
            state_.currentPosition.store(tenthsOf(*at + laterMicros_));
    }

private:
    SharedState& state_;
    const DeviceStandIn& standIn_;
    LogWriter& log_;
    std::uint64_t laterMicros_;
};

}  // namespace

void answeringWorker(SharedState* statePointer, const WorkerJob& job, DebugTrace& trace) {
    if (statePointer == nullptr) return;
    SharedState& state = *statePointer;
    {
        LogWriter log(job.log);
        // A run that cannot start ends unannounced, as a port that will not open does.
        auto cannotStart = [&](Failure failure) {
            log.writeLine("Answering could not start: " + failure.subject + ": " +
                          failure.reason());
            state.reportFailure(std::move(failure));
        };
        // The port's bursts and the index are made here, off the window's thread: a large file
        // takes its time.
        AnsweredFile answered;
        const Failure prepared = prepareAnsweredFile(job, answered);
        log.writeLine("Starting to answer from " + answered.words);
        if (prepared.happened()) return cannotStart(prepared);
        RequestIndex index;
        if (Failure failure = index.build(answered.path); failure.happened())
            return cannotStart(std::move(failure));
        DeviceStandIn standIn(index, defaultGapMicros(job.device));
        // Beside the recording: a rules file of the same name, and a Modbus recording's device.
        AnswerSourceChoice choice;
        const std::string rules = rulesFileBeside(job.filePath);
        std::error_code error;
        if (std::filesystem::is_regular_file(rules, error)) choice.rulesPath = rules;
        choice.learnModbus = job.answerWithModbus;
        choice.onlyWhenModbus = true;
        AnswerSources sources;
        if (Failure failure = sources.load(choice, index); failure.happened())
            return cannotStart(std::move(failure));
        if (const auto& mistake = sources.mistake()) {
            return cannotStart({Failure::Kind::ReadInput,
                                mistake->path,
                                {},
                                "line " + std::to_string(mistake->line) + ": " + mistake->text,
                                {}});
        }
        if (sources.hasRules()) log.writeLine("Answering with the rules in " + rules);
        if (sources.hasModbus()) log.writeLine("Answering as " + sources.modbusWords());
        sources.addTo(standIn);
        if (log.isOpen()) standIn.keepAnswerNotes();
        if (Failure failure = standIn.start(); failure.happened())
            return cannotStart(std::move(failure));
        OpenedPort host;
        if (Failure failure = openHostSidePort(job.device, &host); failure.happened())
            return cannotStart(std::move(failure));
        if (const auto lines = recordedDeviceLines(answered.path)) host.port->tellLineEvent(*lines);
        if (announcePlayStart(state, log)) {
            state.currentPosition.store(0);
            WindowAnsweringListener listener(state, standIn, log, answered.laterMicros);
            AnsweringOptions options;
            options.portName = job.device.port;
            DelayTally lateness;
            const AnsweringResult result =
                runAnswering(*host.port, standIn, options, listener, lateness);
            listener.progress(standIn.counts());
            if (result.failure.happened()) state.reportFailure(result.failure);
            trace.trace(DebugTrace::kLevel, "Answering finished\r\n");
        }
        log.writeLine("Answering finished");
    }
    announcePlayEnd(state);
}

void conversationPlaybackWorker(SharedState* statePointer, const WorkerJob& job,
                                DebugTrace& trace) {
    if (statePointer == nullptr) return;
    SharedState& state = *statePointer;
    {
        LogWriter log(job.log);
        ConversationReader reader;
        OpenedPort opened;
        Failure failure = reader.open(job.filePath);
        if (!failure.happened()) failure = openDeviceSidePort(job.device, &opened);
        for (const std::string& remark : opened.remarks) log.writeLine(remark);
        if (failure.happened()) {
            log.writeLine("Playing could not start: " + failure.subject + ": " + failure.reason());
            state.reportFailure(std::move(failure));
            return;
        }
        if (announcePlayStart(state, log)) {
            ConversationPlay play;
            play.filePath = job.filePath;
            play.portName = job.device.port;
            play.interfaceIndex = job.interfaceIndex;
            play.fromMicros = std::uint64_t{job.startPosition} * kMicrosPerTenth;
            play.log = job.log;
            ConversationPlayCounts counts;
            const Failure ended = playConversation(
                reader, *opened.port, play, counts, [&](const ConversationPlayCounts& c) {
                    state.bytesMoved.store(c.bytes);
                    if (c.bursts > 0) state.currentPosition.store(tenthsOf(c.atMicros));
                    return !state.stopRequested();
                });
            if (ended.happened()) state.reportFailure(ended);
            trace.trace(DebugTrace::kLevel, "Playing finished\r\n");
        }
    }
    announcePlayEnd(state);
}
