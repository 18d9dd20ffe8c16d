#include <chrono>

#include "workers/PerfCounter.h"

std::int64_t perfCounterFrequency() { return 1'000'000'000; }

std::int64_t perfCounterNow() {
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
}
