#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "convert/ConversionProgress.h"
#include "engine/ErrorReporter.h"

// An export or import on a thread of its own, so that the window keeps answering. The window's
// thread reads its progress from atomics and may ask it to stop; the thread is joined when the
// run goes. What the conversion would have shown in the error box is kept, with the system's
// text taken on its own thread, for the window to show once it has ended.
class ConversionRun {
public:
    // True when the conversion made its output whole (and put it in place).
    using Work = std::function<bool(const ConversionProgress& progress, ErrorReporter& errors)>;

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
    // Waits for the end; the error texts it kept, whole (nothing left to add).
    std::vector<std::string> finish();

private:
    void run(Work work);

    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    std::vector<std::string> errorTexts_;  // the thread's until it has been joined
    bool completed_ = false;               // the same
    std::thread thread_;                   // last: started once the rest exists
};
