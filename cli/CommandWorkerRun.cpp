#include "cli/CommandWorkerRun.h"

CommandWorkerRun::CommandWorkerRun() = default;

std::uint32_t CommandWorkerRun::start(WorkerRunner::Entry entry, WorkerJob job) {
    const std::uint32_t runNumber = runner_.start(entry, std::move(job));
    std::lock_guard lock(mutex_);
    runNumber_ = runNumber;
    return runNumber;
}

bool CommandWorkerRun::waitForEnd(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(
                lock, limit, [this] { return runNumber_ != 0 && endedRunNumber_ == runNumber_; })) {
            return true;
        }
    }
    // A worker whose port or file would not open returns without announcing an end.
    return !runner_.isRunning();
}

bool CommandWorkerRun::started() const {
    std::lock_guard lock(mutex_);
    return runNumber_ != 0 && startedRunNumber_ == runNumber_;
}

void CommandWorkerRun::workerStateChanged(WorkerEvent event, std::uint32_t runNumber) {
    std::lock_guard lock(mutex_);
    if (event == WorkerEvent::Started) startedRunNumber_ = runNumber;
    if (event == WorkerEvent::Ended) endedRunNumber_ = runNumber;
    changed_.notify_all();
}
