#include <algorithm>

#include "engine/DebugTrace.h"
#include "log/LogWriter.h"
#include "workers/MonitorToFile.h"
#include "workers/SharedState.h"
#include "workers/WorkerJob.h"
#include "workers/Workers.h"

namespace {

constexpr std::uint64_t kMicrosPerTenth = 100000;

// The activity meter moves with what passed either way since the last tick.
std::uint64_t bytesBothWays(const MonitorCounts& counts) {
    return counts.hostBytes.load() + counts.deviceBytes.load();
}

}  // namespace

void monitorWorker(SharedState* statePointer, const WorkerJob& job, DebugTrace& trace) {
    if (statePointer == nullptr) return;
    SharedState& state = *statePointer;
    {
        LogWriter log(job.log);
        log.writeLine("Starting monitoring " + job.device.port + " <-> " + job.devicePort);
        MonitorPairSettings pair{job.device, job.device};
        pair.device.port = job.devicePort;
        MonitorToFile open;
        // A run that cannot start ends without announcing it, as the recording worker does.
        if (Failure failure = openMonitorToFile({&pair, 1}, job.filePath, job.application, open, {},
                                                job.reconnect);
            failure.happened()) {
            log.writeLine("Monitoring could not start: " + failure.subject + ": " +
                          failure.reason());
            state.reportFailure(std::move(failure));
            return;
        }
        state.recording.store(true);
        state.paused.store(false);
        Failure ended;
        if (state.stopRequested()) {
            log.writeLine("Monitoring was stopped");
        } else {
            state.notify(WorkerEvent::Started);
            std::uint64_t startMicros = 0;
            std::uint64_t lastBytes = 0;
            ended = monitorIntoFile(
                open, state.stopFlag(), state.monitorCounts,
                [&](std::uint64_t now) {
                    if (startMicros == 0) startMicros = now;
                    state.currentPosition.store(
                        static_cast<std::uint32_t>((now - startMicros) / kMicrosPerTenth));
                    const std::uint64_t bytes = bytesBothWays(state.monitorCounts);
                    if (bytes != lastBytes) {
                        state.addActivity(static_cast<std::int32_t>(
                            std::min<std::uint64_t>(bytes - lastBytes, 100)));
                        lastBytes = bytes;
                    }
                },
                // A port going away and coming back, a program connecting: for the log.
                [&log](const std::string& remark) { log.writeLine(remark); });
            trace.trace(DebugTrace::kLevel, "Monitoring finished\r\n");
        }
        // Whatever ended the run, what was passed before is in the file once it is closed; a
        // failure to close is told when nothing else went wrong first.
        const Failure closed = open.writer.close();
        if (ended.happened()) {
            log.writeLine("Monitoring ended: " + ended.subject + ": " + ended.reason());
            state.reportFailure(std::move(ended));
        } else if (closed.happened()) {
            log.writeLine("Monitoring ended: " + closed.subject + ": " + closed.reason());
            state.reportFailure(closed);
        }
        log.writeLine("Monitoring finished");
    }  // the ports and the log are closed before the end is announced
    state.recording.store(false);
    state.currentPosition.store(0);
    state.notify(WorkerEvent::Ended);
}
