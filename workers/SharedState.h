#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "engine/Failure.h"
#include "workers/MonitorCounts.h"

// What a worker reports to the front end. The values are the worker-state codes that the window
// receives in its message (wParam), so they stay as they are.
enum class WorkerEvent : int {
    Started = 1,       // the port and the file are open and the running flag is set
    PauseToggled = 0,  // posted by the window itself when Pause changes `paused`
    Ended = -1,        // the running flag and `paused` are cleared; the port and file are closed
};

// Receives the worker's events, on the worker's thread: on Windows it posts a message to the main
// window. `runNumber` is the number WorkerRunner::start gave the run, so that a late report is
// never taken for one of a later run.
class WorkerStateListener {
public:
    virtual ~WorkerStateListener() = default;
    virtual void workerStateChanged(WorkerEvent event, std::uint32_t runNumber) = 0;
};

// What the front end and its one running worker share: single values that the front end requests
// (stop, pause) and the worker reports (position, activity), each an atomic, and the listener.
// Everything else a run needs comes by value in its WorkerJob.
class SharedState {
public:
    explicit SharedState(WorkerStateListener& listener) : listener_(listener) {}
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    std::atomic<std::uint32_t> currentPosition{0};  // tenths of a second
    // The transport state: what the window's rules read, and what the front end clears to stop.
    std::atomic<bool> paused{false};
    std::atomic<bool> recording{false};
    std::atomic<bool> playing{false};
    std::atomic<std::int32_t> activityLevel{0};  // 0..100
    // What the current run has recorded or sent so far, for a front end's progress.
    std::atomic<std::uint32_t> chunksMoved{0};
    std::atomic<std::uint64_t> bytesMoved{0};
    // A monitoring run's bytes each way.
    MonitorCounts monitorCounts;
    // An answering run's requests: answered from the file, and those it holds no answer for.
    std::atomic<std::uint64_t> requestsAnswered{0};
    std::atomic<std::uint64_t> requestsUnknown{0};

    // The front end's Stop: clears the running flags. The request also stays pending for a worker
    // that has not yet set its running flag, which then ends without running.
    void requestStop() {
        stopRequested_.store(true);
        recording.store(false);
        playing.store(false);
    }
    bool stopRequested() const { return stopRequested_.load(); }
    // For a run that waits on a stop flag of its own kind (the monitor).
    const std::atomic<bool>& stopFlag() const { return stopRequested_; }

    // A lost update against the window's decay only affects the activity display.
    void addActivity(std::int32_t bytes) {
        activityLevel.store(std::min<std::int32_t>(activityLevel.load() + bytes, 100));
    }

    // Why a run did not start or ended early: its port would not open, refused its timeouts or
    // failed; its file would not open, be made, read or written. The worker leaves it here
    // before it announces its end, stamped with its run's number so that a later run's report
    // is never taken for this one's. A later report of the same run replaces an earlier one: a
    // recording whose file fails as it closes says so rather than that its port failed.
    void reportFailure(Failure failure) {
        trimLineEnd(failure.detail);
        std::lock_guard lock(failureMutex_);
        failure_ = std::move(failure);
        failureRunNumber_ = runNumber_.load();
    }
    // How run `runNumber` failed; kind None when it did not.
    Failure failureOf(std::uint32_t runNumber) const {
        std::lock_guard lock(failureMutex_);
        return failureRunNumber_ == runNumber ? failure_ : Failure{};
    }

    void notify(WorkerEvent event) {
        if (event == WorkerEvent::Ended) endNotified_.store(true);
        listener_.workerStateChanged(event, runNumber_.load());
    }
    bool endNotified() const { return endNotified_.load(); }

    // Called by WorkerRunner before it starts run number `runNumber`.
    void beginRun(std::uint32_t runNumber) {
        stopRequested_.store(false);
        endNotified_.store(false);
        chunksMoved.store(0);
        bytesMoved.store(0);
        monitorCounts.reset();
        requestsAnswered.store(0);
        requestsUnknown.store(0);
        runNumber_.store(runNumber);
    }

private:
    // A port's text may end in a line end (FormatMessage): a sentence ends before it.
    static void trimLineEnd(std::string& text) {
        while (!text.empty() &&
               (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
            text.pop_back();
        }
    }

    WorkerStateListener& listener_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> endNotified_{false};
    std::atomic<std::uint32_t> runNumber_{0};
    mutable std::mutex failureMutex_;
    Failure failure_;
    std::uint32_t failureRunNumber_ = 0;
};
