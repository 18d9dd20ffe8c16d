#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "SharedState.h"

// Owns the thread of the one worker that may run at a time (recording or playback).
// The main window keeps one and, before its state goes away, stops and awaits the worker.
class WorkerRunner {
public:
    using Entry = int (*)(SharedState*);

    explicit WorkerRunner(SharedState& state) : state_(state) {}
    ~WorkerRunner() { stopAndWait(); }
    WorkerRunner(const WorkerRunner&) = delete;
    WorkerRunner& operator=(const WorkerRunner&) = delete;

    // Starts entry(&state) on a new thread. A previous worker that has ended, or has announced
    // its end and is only closing its port and files, is awaited first; one that still runs
    // makes start refuse (false).
    bool start(Entry entry);

    // True from start until the worker's thread function has returned.
    bool isRunning() const;

    // Requests a stop, as the Stop command does, and waits for the worker's end.
    void stopAndWait();

private:
    void join();

    SharedState& state_;
    std::thread thread_;
    std::shared_ptr<std::atomic<bool>> finished_;
};
