#include "cli/WorkerSession.h"

WorkerSession::WorkerSession() = default;

std::uint32_t WorkerSession::start(WorkerRunner::Entry entry, WorkerJob job) {
    const std::uint32_t run = runner_.start(entry, std::move(job));
    std::lock_guard lock(mutex_);
    run_ = run;
    return run;
}

bool WorkerSession::waitForEnd(std::chrono::milliseconds limit) {
    {
        std::unique_lock lock(mutex_);
        if (changed_.wait_for(lock, limit, [this] { return run_ != 0 && endedRun_ == run_; })) {
            return true;
        }
    }
    // A worker whose port or file would not open returns without announcing an end.
    return !runner_.isRunning();
}

bool WorkerSession::started() const {
    std::lock_guard lock(mutex_);
    return run_ != 0 && startedRun_ == run_;
}

void WorkerSession::workerStateChanged(WorkerEvent event, std::uint32_t job) {
    std::lock_guard lock(mutex_);
    if (event == WorkerEvent::Started) startedRun_ = job;
    if (event == WorkerEvent::Ended) endedRun_ = job;
    changed_.notify_all();
}
