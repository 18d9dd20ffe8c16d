#include <algorithm>
#include <cstdio>
#include <string>

#include "DebugTrace.h"
#include "LogWriter.h"
#include "PerfCounter.h"
#include "PreciseSleeper.h"
#include "SerialFile.h"
#include "SerialPort.h"
#include "SharedState.h"
#include "TimeOffset.h"
#include "WorkerPort.h"
#include "Workers.h"

namespace {

constexpr std::uint32_t kPauseSleepMs = 100;
constexpr std::uint32_t kLongestWaitMs = 500;  // stop and pause are looked at this often

// The loop once the port and the file are open and the running flag is set.
void playChunks(SharedState& state, SerialPort& port, SerialFileReader& file, LogWriter& log) {
    DebugTrace& trace = state.debugTrace;
    PreciseSleeper sleeper;
    ChunkReader reader(file, kPlaybackResyncStep);
    const std::int64_t frequency = perfCounterFrequency();
    const std::int64_t ticksPerTenth = counterTicksPerTenth(frequency);
    std::int64_t clockBase = perfCounterNow();

    const std::uint32_t startPosition = state.currentPosition.load();
    if (startPosition > 0) {
        // Without a chunk at or after the start position the whole file is played.
        if (auto start = seekChunk(file, startPosition)) {
            reader.setCursor(*start);
            clockBase -= ticksPerTenth * startPosition;
        }
    }

    Chunk chunk;
    char line[96];
    for (;;) {
        if (state.playing.load() == 0) {
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
            const std::uint32_t playClock = timeOffsetBetween(clockBase, now, frequency);
            state.currentPosition.store(playClock);
            if (playClock < chunk.timeOffset) {
                trace.tracef(DebugTrace::kLevel, "At %u - wating for %u\r\n", playClock,
                             chunk.timeOffset);
                reader.setCursor(chunk.start);
                // Wake up after the usual step, but never after the instant the chunk is due.
                const std::uint32_t waitMs =
                    std::min(chunk.timeOffset * 10u - playClock * 10u, kLongestWaitMs);
                const std::int64_t due =
                    clockBase + ticksPerTenth * static_cast<std::int64_t>(chunk.timeOffset);
                sleeper.sleepUntil(std::min(counterAfter(now, waitMs, frequency), due));
                continue;
            }
            std::snprintf(line, sizeof line, "Sending %d bytes for time offset %u\r\n",
                          static_cast<int>(chunk.length), chunk.timeOffset);
            trace.trace(DebugTrace::kLevel, line);
            log.writeLine(line);
            std::uint32_t written = 0;
            if (port.write(chunk.data, chunk.length, &written)) {
                state.addActivity(static_cast<std::int32_t>(written));
            } else {
                trace.tracef(DebugTrace::kLevel, "At time %u - error %s\r\n", playClock,
                             port.errorText());
            }
        }
        if (!reader.finish(chunk)) break;
    }
}

}  // namespace

int playbackWorker(SharedState* statePointer) {
    if (statePointer == nullptr) return 1;
    SharedState& state = *statePointer;

    {
        LogWriter log(state.profile);
        log.writeLine("Starting playing of file " + state.currentFilePath);

        SerialPort port;
        if (!openWorkerPort(port, state.deviceSettings, log)) return 0;
        SerialFileReader file;
        if (!file.open(state.currentFilePath)) {
            log.writeLine("Couldt open playfile " + state.currentFilePath);
            return 0;
        }

        state.playing.store(1);
        state.paused.store(0);
        // A Stop pressed while the worker was opening is honoured: it ends without playing.
        if (state.stopRequested()) {
            log.writeLine("Playing was stopped");
        } else {
            state.notify(kWorkerStarted);
            playChunks(state, port, file, log);
            // Played to the end: the next playback starts from the beginning.
            if (state.playing.load() == 1) state.currentPosition.store(0);
        }
        log.writeLine("Ended play");
    }  // the file, the port and the log are closed before the end is announced
    state.playing.store(0);
    state.paused.store(0);
    state.notify(kWorkerEnded);
    return 0;
}
