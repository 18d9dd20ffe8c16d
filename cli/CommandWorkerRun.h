#pragma once

// A command's worker run: runs the window's recording or playback worker through the same
// runner, one run at a time, and lets the command wait for the run's end in short steps so that
// it can draw progress and look at its own reasons to stop meanwhile.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "engine/DebugTrace.h"
#include "workers/SharedState.h"
#include "workers/WorkerJob.h"
#include "workers/WorkerRunner.h"

class CommandWorkerRun : private WorkerStateListener {
public:
    CommandWorkerRun();
    CommandWorkerRun(const CommandWorkerRun&) = delete;
    CommandWorkerRun& operator=(const CommandWorkerRun&) = delete;

    // Starts a run once the previous one has ended; its number, 0 when refused.
    std::uint32_t start(WorkerRunner::Entry entry, WorkerJob job);
    // Waits up to `limit`; true once the current run has announced its end or returned.
    bool waitForEnd(std::chrono::milliseconds limit);
    // The current run got its port and file open and began.
    bool started() const;
    // Asks the run to stop; it ends within about 100 ms.
    void stop() { state_.requestStop(); }
    // Stops the run if it still goes and awaits its thread: its file is closed after this.
    void finish() { runner_.stopAndWait(); }

    SharedState& state() { return state_; }
    std::uint32_t runNumber() const { return runNumber_; }

private:
    void workerStateChanged(WorkerEvent event, std::uint32_t runNumber) override;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // The latest runs that announced their start and their end: an event may come before
    // start() has returned the run's number.
    std::uint32_t startedRunNumber_ = 0;
    std::uint32_t endedRunNumber_ = 0;
    std::uint32_t runNumber_ = 0;
    SharedState state_{*this};
    DebugTrace trace_{systemTraceSink(), 0};  // the worker's developer trace stays off
    WorkerRunner runner_{state_, trace_};     // last: it stops and awaits the worker first
};
