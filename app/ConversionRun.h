#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "convert/ConversionProgress.h"

// An export or import on a thread of its own, so that the window keeps answering. The window's
// thread reads its progress from atomics and may ask it to stop; the thread is joined when the
// run goes. What failed the work keeps for the window to tell once it has ended: no window is
// touched off the window's thread.
class ConversionRun {
public:
    // True when the conversion made its output whole (and put it in place).
    using Work = std::function<bool(const ConversionProgress& progress)>;

    explicit ConversionRun(Work work);
    ~ConversionRun();  // asks it to stop and waits for it
    ConversionRun(const ConversionRun&) = delete;
    ConversionRun& operator=(const ConversionRun&) = delete;

    bool ended() const { return ended_.load(); }
    void cancel() { cancelled_.store(true); }
    // Asks it to stop and waits for its end: a cancelled conversion has removed what it wrote.
    void stop();
    // After finish: Cancel was asked for only once the conversion had passed its last check, so
    // its output is in place all the same.
    bool cancelCameTooLate() const { return cancelled_.load() && completed_; }
    std::uint64_t done() const { return done_.load(); }
    std::uint64_t total() const { return total_.load(); }
    // Waits for the end: what the work keeps is whole after this.
    void finish();

private:
    void run(Work work);

    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    bool completed_ = false;  // the thread's until it has been joined
    std::thread thread_;      // last: started once the rest exists
};
