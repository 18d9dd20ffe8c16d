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

// How long the playback worker sleeps before it looks again at a chunk that is not due yet: the
// time until the chunk is due, but at most longestMs. In 64 bits: ten times a time offset of
// 429,496,730 or more does not fit 32 bits, and a wrapped product gave waits of a few ms.
inline std::uint32_t waitBeforeChunkMs(std::uint32_t timeOffset, std::uint32_t playClock,
                                       std::uint32_t longestMs) {
    if (timeOffset <= playClock) return 0;
    const std::uint64_t untilDue = (std::uint64_t{timeOffset} - playClock) * 10;
    return static_cast<std::uint32_t>(untilDue < longestMs ? untilDue : longestMs);
}
