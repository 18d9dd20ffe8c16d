#include "WorkerRunner.h"

bool WorkerRunner::start(Entry entry) {
    if (thread_.joinable()) {
        // Once the end is announced the worker only closes its port, file and log.
        if (!finished_->load() && !state_.endNotified()) return false;
        join();
    }
    state_.clearStopRequest();
    state_.clearEndNotified();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    finished_ = finished;
    SharedState* state = &state_;
    thread_ = std::thread([entry, state, finished] {
        entry(state);
        finished->store(true);
    });
    return true;
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
