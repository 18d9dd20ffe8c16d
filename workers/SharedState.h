#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "workers/FileFailure.h"
#include "workers/PortFailure.h"

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

    // The front end's Stop: clears the running flags. The request also stays pending for a worker
    // that has not yet set its running flag, which then ends without running.
    void requestStop() {
        stopRequested_.store(true);
        recording.store(false);
        playing.store(false);
    }
    bool stopRequested() const { return stopRequested_.load(); }

    // A lost update against the window's decay only affects the activity display.
    void addActivity(std::int32_t bytes) {
        activityLevel.store(std::min<std::int32_t>(activityLevel.load() + bytes, 100));
    }

    // A run whose file could not be written (recording) or read (playback): the worker leaves
    // the kind and the reason here before it announces its end, stamped with its run's number so
    // that a later run's report is never taken for this one's.
    void reportFileFailure(FileFailure failure) {
        auto& slot = failure.kind == FileFailure::Kind::Read ? readFailure_ : writeFailure_;
        slot.store(static_cast<std::uint64_t>(runNumber_.load()) << 32 |
                   static_cast<std::uint32_t>(failure.reason));
    }
    // How run `runNumber` failed with its file; kind None when it did not. A run either records or
    // plays, so at most one of the two stamps carries its number.
    FileFailure fileFailureOf(std::uint32_t runNumber) const {
        using Kind = FileFailure::Kind;
        if (const int reason = reasonOf(writeFailure_, runNumber)) return {Kind::Write, reason};
        if (const int reason = reasonOf(readFailure_, runNumber)) return {Kind::Read, reason};
        return {};
    }

    // Why a run could not start (its port or file would not open) or lost its port, as one
    // sentence naming the port or file with the system's reason. The window has the run's log
    // for a file; a front end without a window reports this text. Left before the end is announced.
    void reportFailureText(std::string text) {
        trimLineEnd(text);
        std::lock_guard lock(failureTextMutex_);
        failureText_ = std::move(text);
        failureTextRunNumber_ = runNumber_.load();
    }
    // Run `runNumber`'s failure text; empty when it had none.
    std::string failureTextOf(std::uint32_t runNumber) const {
        std::lock_guard lock(failureTextMutex_);
        return failureTextRunNumber_ == runNumber ? failureText_ : std::string();
    }

    // A run that could not use its port, or lost it: kept for a window, which names the port and
    // the reason apart; its sentence becomes the run's failure text. Left before the end.
    void reportPortFailure(PortFailure failure) {
        trimLineEnd(failure.reason);
        reportFailureText(portFailureSentence(failure));
        std::lock_guard lock(failureTextMutex_);
        portFailure_ = std::move(failure);
        portFailureRunNumber_ = runNumber_.load();
    }
    // How run `runNumber` failed with its port; kind None when it did not.
    PortFailure portFailureOf(std::uint32_t runNumber) const {
        std::lock_guard lock(failureTextMutex_);
        return portFailureRunNumber_ == runNumber ? portFailure_ : PortFailure{};
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
        runNumber_.store(runNumber);
    }

private:
    // The system's texts may end in a line end (FormatMessage): a sentence ends before it.
    static void trimLineEnd(std::string& text) {
        while (!text.empty() &&
               (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
            text.pop_back();
        }
    }

    static int reasonOf(const std::atomic<std::uint64_t>& stamp, std::uint32_t runNumber) {
        const std::uint64_t failure = stamp.load();
        return (failure >> 32) == runNumber ? static_cast<int>(failure & 0xFFFFFFFFu) : 0;
    }

    WorkerStateListener& listener_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> endNotified_{false};
    std::atomic<std::uint32_t> runNumber_{0};
    // Run number (high half), reason (low half).
    std::atomic<std::uint64_t> writeFailure_{0};
    std::atomic<std::uint64_t> readFailure_{0};
    mutable std::mutex failureTextMutex_;
    std::string failureText_;
    std::uint32_t failureTextRunNumber_ = 0;
    PortFailure portFailure_;
    std::uint32_t portFailureRunNumber_ = 0;
};
