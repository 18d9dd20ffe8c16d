#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

#include "DeviceSettings.h"

class DebugTrace;
class Profile;

// Worker-state codes: a worker has started, Pause was toggled, a worker has ended.
inline constexpr int kWorkerStarted = 1;
inline constexpr int kPauseToggled = 0;
inline constexpr int kWorkerEnded = -1;

// Receives the worker-state codes: on Windows a message posted to the main window.
class WorkerStateListener {
public:
    virtual ~WorkerStateListener() = default;
    virtual void workerStateChanged(int code) = 0;
};

// What the main window and its one running worker share. The window changes deviceSettings and
// currentFilePath only while no worker runs; a worker reads them while it opens. The 32-bit
// values are atomics: the window requests (stop, pause) and the worker reports (position,
// activity) without a lock.
class SharedState {
public:
    SharedState(DebugTrace& trace, Profile& settings, WorkerStateListener& listener)
        : debugTrace(trace), profile(settings), listener_(listener) {}
    SharedState(const SharedState&) = delete;
    SharedState& operator=(const SharedState&) = delete;

    std::atomic<std::uint32_t> currentPosition{0};  // tenths of a second
    std::atomic<std::int32_t> paused{0};
    std::atomic<std::int32_t> recording{0};
    std::atomic<std::int32_t> playing{0};
    std::atomic<std::int32_t> activityLevel{0};  // 0..100

    DeviceSettings deviceSettings;
    std::string currentFilePath;
    DebugTrace& debugTrace;
    Profile& profile;  // the logging settings each run reads

    // The window's Stop: clears the running flags. The request also stays pending for a worker
    // that has not yet set its running flag, which then ends without running.
    void requestStop() {
        stopRequested_.store(true);
        recording.store(0);
        playing.store(0);
    }
    bool stopRequested() const { return stopRequested_.load(); }
    void clearStopRequest() { stopRequested_.store(false); }

    // A lost update against the window's decay only affects the activity display.
    void addActivity(std::int32_t bytes) {
        activityLevel.store(std::min<std::int32_t>(activityLevel.load() + bytes, 100));
    }

    void notify(int code) {
        if (code == kWorkerEnded) endNotified_.store(true);
        listener_.workerStateChanged(code);
    }
    bool endNotified() const { return endNotified_.load(); }
    void clearEndNotified() { endNotified_.store(false); }

private:
    WorkerStateListener& listener_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> endNotified_{false};
};
