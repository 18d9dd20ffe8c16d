#pragma once

#include <cstdint>
#include <memory>

// Waits until an absolute instant of the performance counter (perfCounterNow) and never long
// past it. While one exists the process asks the system for its finest timer resolution, so keep
// one for the length of a playback.
class PreciseSleeper {
public:
    PreciseSleeper();
    ~PreciseSleeper();
    PreciseSleeper(const PreciseSleeper&) = delete;
    PreciseSleeper& operator=(const PreciseSleeper&) = delete;

    void sleepUntil(std::int64_t counterDeadline);

private:
    struct Impl;  // one per platform
    std::unique_ptr<Impl> impl_;
};

// The counter instant `milliseconds` after `from`.
inline std::int64_t counterAfter(std::int64_t from, std::uint32_t milliseconds,
                                 std::int64_t frequency) {
    return from + static_cast<std::int64_t>(milliseconds) * frequency / 1000;
}
