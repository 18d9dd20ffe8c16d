#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "workers/SharedState.h"
#include "workers/WorkerJob.h"

class DebugTrace;

// Owns the thread of the one worker that may run at a time (recording or playback).
// The front end keeps one and, before its state goes away, stops and awaits the worker.
class WorkerRunner {
public:
    using Entry = void (*)(SharedState* state, const WorkerJob& job, DebugTrace& trace);

    WorkerRunner(SharedState& state, DebugTrace& trace) : state_(state), trace_(trace) {}
    ~WorkerRunner() { stopAndWait(); }
    WorkerRunner(const WorkerRunner&) = delete;
    WorkerRunner& operator=(const WorkerRunner&) = delete;

    // Starts entry(&state, job, trace) on a new thread and returns the run's number (1, 2, ...),
    // which the worker's events carry. A previous worker that has ended, or has announced its end
    // and is only closing its port and files, is awaited first; one that still runs makes start
    // refuse (0).
    std::uint32_t start(Entry entry, WorkerJob job);

    // True from start until the worker's thread function has returned.
    bool isRunning() const;

    // Requests a stop, as the Stop command does, and waits for the worker's end.
    void stopAndWait();

private:
    void join();

    SharedState& state_;
    DebugTrace& trace_;
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> finished_;
    std::uint32_t lastRunNumber_ = 0;
};
