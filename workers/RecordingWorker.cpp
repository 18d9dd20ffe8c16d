#include <cstdio>
#include <string>

#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/SerialPort.h"
#include "engine/WriteFailure.h"
#include "log/LogWriter.h"
#include "workers/PerfCounter.h"
#include "workers/SharedState.h"
#include "workers/TimeOffset.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerPort.h"
#include "workers/Workers.h"

namespace {

// A read returns at once with what has arrived; with nothing there it waits up to 100 ms for the
// first byte. So a chunk holds what gathered since the last read, and a stop is seen quickly.
constexpr SerialTimeouts kRecordingTimeouts{kSerialTimeoutMax, kSerialTimeoutMax, 100, 0, 0};
constexpr std::uint32_t kLargestRead = 255;

// Records until a stop request or a failed read (no error), or until the file refuses a write
// (the system's reason).
SystemError recordChunks(SharedState& state, const WorkerJob& job, WorkerPort& port,
                         SerialFileWriter& out, LogWriter& log, DebugTrace& trace) {
    const std::int64_t frequency = perfCounterFrequency();
    const std::int64_t start = perfCounterNow();
    // A killed program loses at most the last 100 ms: the chunks reach the system that often,
    // though not one by one, which would cost a system call for every burst.
    const std::int64_t flushEvery = frequency / 10;
    std::int64_t lastFlush = start;
    std::uint8_t buffer[256];
    char line[64];
    for (;;) {
        if (!state.recording.load()) {
            log.writeLine("Recording was stopped");
            return {};
        }
        std::uint32_t count = 0;
        if (!port.read(buffer, kLargestRead, &count)) {  // the device went away
            state.reportFailure(
                portFailure(Failure::Kind::PortLost, job.device.port, port.errorText()));
            return {};
        }
        // A port that went away and came back leaves a gap without chunks, told here.
        for (const std::string& remark : port.takeRemarks()) log.writeLine(remark);
        const std::int64_t now = perfCounterNow();
        const std::uint32_t timeOffset = timeOffsetBetween(start, now, frequency);
        if (count > 0) {
            state.addActivity(static_cast<std::int32_t>(count));
            std::snprintf(line, sizeof line, "off=%u: sz=%d\r\n", timeOffset,
                          static_cast<int>(count));
            clearWriteFailure();
            if (!out.writeChunk(timeOffset, buffer, static_cast<std::uint8_t>(count))) {
                return lastWriteFailure();
            }
            state.chunksMoved.fetch_add(1, std::memory_order_relaxed);
            state.bytesMoved.fetch_add(count, std::memory_order_relaxed);
            trace.traceHex(DebugTrace::kLevel, line, buffer, count);
            log.writeLine(line);
        }
        // After a stop request the close, a moment later, writes everything out.
        if (now - lastFlush >= flushEvery && state.recording.load()) {
            clearWriteFailure();
            if (!out.flush()) return lastWriteFailure();
            lastFlush = now;
        }
        state.currentPosition.store(timeOffset);
    }
}

void logWriteFailure(LogWriter& log, const std::string& path, SystemError error) {
    log.writeLine("Error writing file to record to: " + path + ": " + systemErrorText(error));
}

}  // namespace

void recordingWorker(SharedState* statePointer, const WorkerJob& job, DebugTrace& trace) {
    if (statePointer == nullptr) return;
    SharedState& state = *statePointer;
    {
        LogWriter log(job.log);
        log.writeLine("Starting recording");

        // Before the file is created: a run that cannot start leaves the last recording as it was.
        const std::unique_ptr<WorkerPort> port = openWorkerPort(
            job.device, [](SerialPort&) { return kRecordingTimeouts; }, log, state, job.reconnect);
        if (!port) return;
        SerialFileWriter out;
        if (!out.open(job.filePath)) {
            const SystemError error = lastCLibraryError();
            log.writeLine("Error opening file to record to: " + job.filePath);
            state.reportFailure(fileFailure(Failure::Kind::CreateOutput, job.filePath, error));
            return;
        }

        state.recording.store(true);
        state.paused.store(false);
        // A Stop pressed while the worker was opening is honoured: it ends without recording.
        SystemError writeError;
        if (state.stopRequested()) {
            log.writeLine("Recording was stopped");
        } else {
            state.notify(WorkerEvent::Started);
            writeError = recordChunks(state, job, *port, out, log, trace);
            // A file that cannot be written ends the recording as a lost device does; what was
            // written before stays in it.
            if (writeError.isSet()) logWriteFailure(log, job.filePath, writeError);
        }
        log.writeLine("Recording finished");
        // Only now is every chunk certain to be on disk; a full disk may show only here.
        clearWriteFailure();
        if (!out.close() && !writeError.isSet()) {
            writeError = lastWriteFailure();
            logWriteFailure(log, job.filePath, writeError);
        }
        if (writeError.isSet())
            state.reportFailure(fileFailure(Failure::Kind::WriteOutput, job.filePath, writeError));
    }  // the port and the log are closed before the end is announced
    state.recording.store(false);
    state.currentPosition.store(0);
    state.notify(WorkerEvent::Ended);
}
