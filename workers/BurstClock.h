#pragma once

#include <chrono>
#include <cstdint>

// The times a recording gives its bursts: the wall clock read once at the start, then moved on
// by the steady clock, so that a clock set back during a run cannot make the file's times go
// backwards.
class BurstClock {
public:
    using Steady = std::chrono::steady_clock;

    BurstClock()
        : wallStart_(microsOf(std::chrono::system_clock::now().time_since_epoch())),
          steadyStart_(Steady::now()) {}

    // Since the start, in microseconds.
    std::uint64_t sinceStart(Steady::time_point at = Steady::now()) const {
        return microsOf(at - steadyStart_);
    }
    // On the wall clock, in microseconds since the Unix epoch.
    std::uint64_t wallMicros(Steady::time_point at = Steady::now()) const {
        return wallStart_ + sinceStart(at);
    }
    std::uint64_t wallMicrosAfter(std::uint64_t sinceStartMicros) const {
        return wallStart_ + sinceStartMicros;
    }

private:
    template <typename Duration>
    static std::uint64_t microsOf(Duration span) {
        return static_cast<std::uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(span).count());
    }

    std::uint64_t wallStart_;
    Steady::time_point steadyStart_;
};
