#pragma once

#include <cstdint>

// Time offsets are tenths of a second since a start counter value:
// (now - start) / (frequency / 10), both 64-bit divisions truncating, low 32 bits kept.
inline std::int64_t counterTicksPerTenth(std::int64_t frequency) {
    std::int64_t ticks = frequency / 10;
    return ticks > 0 ? ticks : 1;  // a counter slower than 10 Hz must not divide by zero
}

inline std::uint32_t timeOffsetBetween(std::int64_t start, std::int64_t now,
                                       std::int64_t frequency) {
    return static_cast<std::uint32_t>((now - start) / counterTicksPerTenth(frequency));
}
