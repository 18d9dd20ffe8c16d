#include "workers/WorkerRunner.h"

std::uint32_t WorkerRunner::start(Entry entry, WorkerJob job) {
    if (thread_.joinable()) {
        // Once the end is announced the worker only closes its port, file and log.
        if (!finished_->load() && !state_.endNotified()) return 0;
        join();
    }
    const std::uint32_t runNumber = ++lastRunNumber_;
    state_.beginRun(runNumber);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    finished_ = finished;
    SharedState* state = &state_;
    DebugTrace* trace = &trace_;
    thread_ = std::thread([entry, state, trace, finished, job = std::move(job)] {
        entry(state, job, *trace);
        finished->store(true);
    });
    return runNumber;
}

bool WorkerRunner::isRunning() const { return thread_.joinable() && !finished_->load(); }

void WorkerRunner::stopAndWait() {
    if (!thread_.joinable()) return;
    state_.requestStop();
    join();
}

void WorkerRunner::join() {
    if (thread_.joinable()) thread_.join();
}
