#pragma once

#include <cstdint>

// A monotonic high-resolution counter: the performance counter on Windows, the steady clock
// (in nanoseconds) elsewhere.
std::int64_t perfCounterFrequency();
std::int64_t perfCounterNow();
