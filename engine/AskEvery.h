#pragma once

#include <cstdint>
#include <limits>

// When a long reading asks whether to go on: once `step` bytes are done, then each time `step`
// more are done since the last question. Asking at every chunk would cost a call per few bytes.
// A reading with nobody to ask is never due.
class AskEvery {
public:
    AskEvery(std::uint64_t step, bool asking)
        : step_(step), next_(asking ? step : std::numeric_limits<std::uint64_t>::max()) {}

    // True when `done` has reached the next question; the one after it comes a step further on.
    bool due(std::uint64_t done) {
        if (done < next_) return false;
        next_ = done + step_;
        return true;
    }

private:
    std::uint64_t step_;
    std::uint64_t next_;
};
