#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "log/LogWriter.h"
#include "workers/ChunkTiming.h"
#include "workers/PerfCounter.h"
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
bool stopAsked(const SharedState& state) { return state.playing.load() == 0; }

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
Sent sendChunk(SerialPort& port, const Chunk& chunk, SharedState& state) {
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

// The loop once the port and the file are open and the running flag is set. Returns the file's
// read error when a read failed, which ended playback early; 0 when it ended otherwise.
int playChunks(SharedState& state, const WorkerJob& job, SerialPort& port, SerialFileReader& file,
               LogWriter& log, DebugTrace& trace) {
    PreciseSleeper sleeper;
    ChunkReader reader(file, kPlaybackResyncStep);
    const std::uint32_t startPosition = job.startPosition;
    const std::int64_t frequency = perfCounterFrequency();
    // The play clock counts recorded tenths; at a speed other than 1 they pass faster or slower.
    const std::int64_t playFrequency = playClockFrequency(frequency, job.speed);
    const std::int64_t ticksPerTenth = counterTicksPerTenth(playFrequency);

    // Without a chunk at or after the start position the whole file is played. The seek may
    // take seconds in a long file: it looks at the stop request as it goes, and the play clock
    // starts once it is over, so that its time is not taken for play time.
    bool startFound = false;
    if (startPosition > 0) {
        if (auto start = seekChunk(file, startPosition, [&state] { return !stopAsked(state); })) {
            reader.setCursor(*start);
            startFound = true;
        } else if (file.readFailed()) {
            return file.readError();  // the seek could not read its way to the start
        }
    }
    std::int64_t clockBase = perfCounterNow();
    if (startFound) clockBase -= ticksPerTenth * startPosition;

    Chunk chunk;
    char line[96];
    for (;;) {
        if (stopAsked(state)) {
            log.writeLine("Playing was stopped");
            break;
        }
        if (state.paused.load() != 0) {
            // The play clock stands still at the position of the last comparison.
            sleeper.sleepUntil(counterAfter(perfCounterNow(), kPauseSleepMs, frequency));
            clockBase = perfCounterNow() - ticksPerTenth * state.currentPosition.load();
            continue;
        }
        ChunkReader::Step step = reader.readAt(chunk);
        if (step == ChunkReader::Step::Resync) continue;
        if (step == ChunkReader::Step::End) break;

        if (chunk.length > 0) {
            const std::int64_t now = perfCounterNow();
            const std::uint32_t playClock = timeOffsetBetween(clockBase, now, playFrequency);
            state.currentPosition.store(playClock);
            if (playClock < chunk.timeOffset) {
                // Spelling kept on purpose: logs and users' scripts match this text.
                trace.tracef(DebugTrace::kLevel, "At %u - wating for %u\r\n", playClock,
                             chunk.timeOffset);
                reader.setCursor(chunk.start);
                // Wake up after the usual step, but never after the instant the chunk is due.
                const std::uint32_t waitMs =
                    waitBeforeChunkMs(chunk.timeOffset, playClock, kLongestWaitMs);
                const std::int64_t due = chunkDueAt(clockBase, chunk.timeOffset, ticksPerTenth);
                sleeper.sleepUntil(std::min(counterAfter(now, waitMs, frequency), due));
                continue;
            }
            std::snprintf(line, sizeof line, "Sending %d bytes for time offset %u\r\n",
                          static_cast<int>(chunk.length), chunk.timeOffset);
            trace.trace(DebugTrace::kLevel, line);
            log.writeLine(line);
            const std::int64_t writeStarted = job.chunkTiming ? perfCounterNow() : 0;
            const Sent sent = sendChunk(port, chunk, state);
            if (sent == Sent::All) {
                state.chunksMoved.fetch_add(1, std::memory_order_relaxed);
                state.bytesMoved.fetch_add(chunk.length, std::memory_order_relaxed);
            }
            if (job.chunkTiming && sent != Sent::Stopped) {
                job.chunkTiming->chunkSent({chunkDueAt(clockBase, chunk.timeOffset, ticksPerTenth),
                                            writeStarted, chunk.length, sent == Sent::All});
            }
            // Cut by a stop: the loop's first step ends playback as after any stop. The device
            // may be holding the line (flow control): what the port still holds is dropped, or
            // the close would wait for the driver's closing delay (30 s on many drivers).
            if (sent == Sent::Stopped) {
                port.discardOutput();
                continue;
            }
            if (sent == Sent::Failed) {
                trace.tracef(DebugTrace::kLevel, "At time %u - error %s\r\n", playClock,
                             port.errorText());
            }
        }
        if (!reader.finish(chunk)) break;
    }
    // The reader ends at a read error as at the end of the file; only the file tells them apart.
    return file.readFailed() ? file.readError() : 0;
}

}  // namespace

int playbackWorker(SharedState* statePointer, const WorkerJob& job, DebugTrace& trace) {
    if (statePointer == nullptr) return 1;
    SharedState& state = *statePointer;

    {
        LogWriter log(job.log);
        log.writeLine("Starting playing of file " + job.filePath);

        SerialPort port;
        if (!openWorkerPort(port, job.device, log, state)) return 0;
        if (!setWorkerTimeouts(port, limitedWrites(port), job.device, log, state)) return 0;
        SerialFileReader file;
        if (!file.open(job.filePath)) {
            state.reportFailure(
                fileFailure(Failure::Kind::OpenInput, job.filePath, lastCLibraryError()));
            // Spelling kept on purpose: logs and users' scripts match this text.
            log.writeLine("Couldt open playfile " + job.filePath);
            return 0;
        }

        state.currentPosition.store(job.startPosition);
        state.playing.store(1);
        state.paused.store(0);
        // A Stop pressed while the worker was opening is honoured: it ends without playing.
        if (state.stopRequested()) {
            log.writeLine("Playing was stopped");
        } else {
            state.notify(WorkerEvent::Started);
            const int readError = playChunks(state, job, port, file, log, trace);
            if (readError != 0) {
                // Not played to the end: the position stays where the file failed.
                const SystemError error = cLibraryError(readError);
                log.writeLine("Error reading file to play from: " + job.filePath + ": " +
                              systemErrorText(error));
                state.reportFailure(fileFailure(Failure::Kind::ReadInput, job.filePath, error));
            } else if (state.playing.load() == 1) {
                // Played to the end: the next playback starts from the beginning.
                state.currentPosition.store(0);
            }
        }
        log.writeLine("Ended play");
    }  // the file, the port and the log are closed before the end is announced
    state.playing.store(0);
    state.paused.store(0);
    state.notify(WorkerEvent::Ended);
    return 0;
}
