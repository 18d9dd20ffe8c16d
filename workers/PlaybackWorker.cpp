#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/BisectingChunkSeek.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/ChunkTiming.h"
#include "workers/PerfCounter.h"
#include "workers/PlayAnnouncements.h"
#include "workers/PlayThreadPriority.h"
#include "workers/PreciseSleeper.h"
#include "workers/SharedState.h"
#include "workers/TimeOffset.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerPort.h"
#include "workers/Workers.h"

namespace {

constexpr std::uint32_t kPauseSleepMs = 100;
constexpr std::uint32_t kLongestWaitMs = 500;  // stop and pause are looked at this often
// A write returns after this long even when the device takes none of the bytes (flow control,
// a far end that does not read), so that a stop is seen within about this time.
constexpr std::uint32_t kWriteSliceMs = 100;

// Stop is requested by clearing `playing`.
bool stopAsked(const SharedState& state) { return !state.playing.load(); }

// With the port's own timeouts a write can block for good (flow control, a far end that does
// not read), and a stop, or closing the window, would wait for it. Only the write limits change:
// a short total timeout per write ends a write on Windows, under Wine and on POSIX alike, where
// cancelling cannot (Wine 8 cancels no blocked synchronous write).
SerialTimeouts limitedWrites(SerialPort& port) {
    SerialTimeouts timeouts;
    if (!port.getTimeouts(&timeouts)) timeouts = SerialTimeouts{};
    timeouts.writeTotalTimeoutMultiplier = 0;
    timeouts.writeTotalTimeoutConstant = kWriteSliceMs;
    return timeouts;
}

enum class Sent { All, Failed, Stopped };

// Writes the whole chunk: a write that timed out has taken only the first bytes, so the rest
// follows, never repeating a byte or leaving one out. Only a stop request cuts a chunk. The
// activity counts the bytes that each write took.
Sent sendChunk(WorkerPort& port, const Chunk& chunk, SharedState& state) {
    std::uint32_t sent = 0;
    while (sent < chunk.length) {
        const std::uint32_t left = chunk.length - sent;
        std::uint32_t written = 0;
        const bool ok = port.write(chunk.data + sent, left, &written);
        written = std::min(written, left);
        sent += written;
        if (written > 0) state.addActivity(static_cast<std::int32_t>(written));
        if (!ok) return Sent::Failed;
        if (sent < chunk.length && stopAsked(state)) return Sent::Stopped;
    }
    return Sent::All;
}

// Recorded tenths counted on the performance counter from a base instant, passing faster or
// slower at a speed other than 1.
class PlayClock {
public:
    explicit PlayClock(double speed)
        : frequency_(perfCounterFrequency()),
          playFrequency_(playClockFrequency(frequency_, speed)),
          ticksPerTenth_(counterTicksPerTenth(playFrequency_)) {}

    // From now on the clock counts on from position.
    void setAt(std::uint32_t position) { base_ = perfCounterNow() - ticksPerTenth_ * position; }
    std::uint32_t positionAt(std::int64_t now) const {
        return timeOffsetBetween(base_, now, playFrequency_);
    }
    std::int64_t dueAt(std::uint32_t timeOffset) const {
        return chunkDueAt(base_, timeOffset, ticksPerTenth_);
    }
    // The performance counter's ticks in a second, for sleeping.
    std::int64_t frequency() const { return frequency_; }

private:
    std::int64_t frequency_;
    std::int64_t playFrequency_;
    std::int64_t ticksPerTenth_;
    std::int64_t base_ = 0;
};

// Where playing starts. Without a chunk at or after the start position the whole file is
// played. The seek may take seconds in a long file: it looks at the stop request as it goes.
struct Start {
    bool found = false;
    int readError = 0;  // the seek could not read its way to the start
};

Start seekStart(SharedState& state, SerialFileReader& file, ChunkReader& reader,
                std::uint32_t startPosition) {
    if (startPosition == 0) return {};
    if (auto start = seekChunk(file, startPosition, [&state] { return !stopAsked(state); })) {
        reader.setCursor(*start);
        return {true, 0};
    }
    return {false, file.readFailed() ? file.readError() : 0};
}

// The play clock stands still at the position of the last comparison.
void holdWhilePaused(const SharedState& state, PreciseSleeper& sleeper, PlayClock& clock) {
    sleeper.sleepUntil(counterAfter(perfCounterNow(), kPauseSleepMs, clock.frequency()));
    clock.setAt(state.currentPosition.load());
}

// Wakes up after the usual step, but never after the instant the chunk is due.
void waitForChunk(const Chunk& chunk, std::uint32_t position, std::int64_t now,
                  const PlayClock& clock, PreciseSleeper& sleeper, DebugTrace& trace) {
    // Spelling kept on purpose: logs and users' scripts match this text.
    trace.tracef(DebugTrace::kLevel, "At %u - wating for %u\r\n", position, chunk.timeOffset);
    const std::uint32_t waitMs = waitBeforeChunkMs(chunk.timeOffset, position, kLongestWaitMs);
    sleeper.sleepUntil(
        std::min(counterAfter(now, waitMs, clock.frequency()), clock.dueAt(chunk.timeOffset)));
}

// What the log and the trace say of a chunk, formatted while its instant is still ahead so that
// nothing is formatted between the wake-up and the write. Empty when neither would take it.
struct SendingLine {
    char text[96] = {};
};

void describeSending(const Chunk& chunk, const LogWriter& log, const DebugTrace& trace,
                     SendingLine& line) {
    line.text[0] = '\0';
    if (!log.isOpen() && !trace.enabled(DebugTrace::kLevel)) return;
    std::snprintf(line.text, sizeof line.text, "Sending %d bytes for time offset %u\r\n",
                  static_cast<int>(chunk.length), chunk.timeOffset);
}

// Sends a due chunk, counts it, tells the job's timing observer, and only then logs it: the
// write comes first, the file's line a moment later.
Sent playChunk(SharedState& state, const WorkerJob& job, WorkerPort& port, const Chunk& chunk,
               const SendingLine& line, std::uint32_t position, const PlayClock& clock,
               LogWriter& log, DebugTrace& trace) {
    const std::int64_t writeStarted = job.chunkTiming ? perfCounterNow() : 0;
    const Sent sent = sendChunk(port, chunk, state);
    if (line.text[0] != '\0') {
        trace.trace(DebugTrace::kLevel, line.text);
        log.writeLine(line.text);
    }
    if (sent == Sent::All) {
        state.chunksMoved.fetch_add(1, std::memory_order_relaxed);
        state.bytesMoved.fetch_add(chunk.length, std::memory_order_relaxed);
    }
    if (job.chunkTiming && sent != Sent::Stopped) {
        job.chunkTiming->chunkSent(
            {clock.dueAt(chunk.timeOffset), writeStarted, chunk.length, sent == Sent::All});
    }
    // The device may be holding the line (flow control): what the port still holds is dropped,
    // or the close would wait for the driver's closing delay (30 s on many drivers).
    if (sent == Sent::Stopped) port.discardOutput();
    if (sent == Sent::Failed) {
        trace.tracef(DebugTrace::kLevel, "At time %u - error %s\r\n", position, port.errorText());
    }
    return sent;
}

// The loop once the port and the file are open and the running flag is set. Returns the file's
// read error when a read failed, which ended playback early; 0 when it ended otherwise.
int playChunks(SharedState& state, const WorkerJob& job, WorkerPort& port, SerialFileReader& file,
               LogWriter& log, DebugTrace& trace) {
    PreciseSleeper sleeper;
    ChunkReader reader(file, kPlaybackResyncStep);
    PlayClock clock(job.speed);
    const Start start = seekStart(state, file, reader, job.startPosition);
    if (start.readError != 0) return start.readError;
    // Raised once the seek is over: a long seek is work for an ordinary thread.
    const PlayThreadPriority priority;
    // The play clock starts once the seek is over, so that its time is not taken for play time.
    clock.setAt(start.found ? job.startPosition : 0);

    // The chunk is read, and its line formatted, before the wait for it: after the wake-up only
    // the clock is read before the write.
    Chunk chunk;
    SendingLine line;
    bool holding = false;  // chunk is read and not yet sent
    for (;;) {
        if (stopAsked(state)) {
            log.writeLine("Playing was stopped");
            break;
        }
        if (state.paused.load()) {
            holdWhilePaused(state, sleeper, clock);
            continue;
        }
        if (!holding) {
            const ChunkReader::Step step = reader.readAt(chunk);
            if (step == ChunkReader::Step::Resync) continue;
            if (step == ChunkReader::Step::End) break;
            holding = true;
            describeSending(chunk, log, trace, line);
        }

        if (chunk.length > 0) {
            const std::int64_t now = perfCounterNow();
            const std::uint32_t position = clock.positionAt(now);
            state.currentPosition.store(position);
            if (position < chunk.timeOffset) {
                waitForChunk(chunk, position, now, clock, sleeper, trace);
                continue;
            }
            // Cut by a stop: the loop's first step ends playback as after any stop.
            const Sent sent = playChunk(state, job, port, chunk, line, position, clock, log, trace);
            // A port that went away and came back: what fell due meanwhile was dropped.
            for (const std::string& remark : port.takeRemarks()) log.writeLine(remark);
            if (sent == Sent::Stopped) continue;
        }
        holding = false;
        if (!reader.finish(chunk)) break;
    }
    // The reader ends at a read error as at the end of the file; only the file tells them apart.
    return file.readFailed() ? file.readError() : 0;
}

}  // namespace

void playbackWorker(SharedState* statePointer, const WorkerJob& job, DebugTrace& trace) {
    if (statePointer == nullptr) return;
    SharedState& state = *statePointer;

    {
        LogWriter log(job.log);
        log.writeLine("Starting playing of file " + job.filePath);

        const std::unique_ptr<WorkerPort> port =
            openWorkerPort(job.device, limitedWrites, log, state, job.reconnect);
        if (!port) return;
        SerialFileReader file;
        if (!file.open(job.filePath)) {
            state.reportFailure(
                fileFailure(Failure::Kind::OpenInput, job.filePath, lastCLibraryError()));
            // Spelling kept on purpose: logs and users' scripts match this text.
            log.writeLine("Couldt open playfile " + job.filePath);
            return;
        }

        state.currentPosition.store(job.startPosition);
        if (announcePlayStart(state, log)) {
            const int readError = playChunks(state, job, *port, file, log, trace);
            if (readError != 0) {
                // Not played to the end: the position stays where the file failed.
                const SystemError error = cLibraryError(readError);
                log.writeLine("Error reading file to play from: " + job.filePath + ": " +
                              systemErrorText(error));
                state.reportFailure(fileFailure(Failure::Kind::ReadInput, job.filePath, error));
            } else if (state.playing.load()) {
                // Played to the end: the next playback starts from the beginning.
                state.currentPosition.store(0);
            }
        }
        log.writeLine("Ended play");
    }  // the file, the port and the log are closed before the end is announced
    announcePlayEnd(state);
}
