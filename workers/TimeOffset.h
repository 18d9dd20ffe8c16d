#pragma once

#include <cmath>
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

// The frequency the play clock counts tenths at when a file plays `speed` times as fast: at 2 a
// recorded tenth passes in half the counter ticks. Speed 1 keeps the counter's own frequency,
// so the clock is exactly what it always was.
inline std::int64_t playClockFrequency(std::int64_t frequency, double speed) {
    if (speed == 1.0 || !(speed > 0.0)) return frequency;
    const long long scaled = std::llround(static_cast<double>(frequency) / speed);
    return scaled >= 1 ? scaled : 1;
}

// The counter instant at which a chunk is due on a play clock that read 0 at clockBase. In 64
// bits: at 1 GHz and speed 0.1 a tenth is 10^9 ticks, times a 32-bit offset still fits.
inline std::int64_t chunkDueAt(std::int64_t clockBase, std::uint32_t timeOffset,
                               std::int64_t ticksPerTenth) {
    return clockBase + ticksPerTenth * static_cast<std::int64_t>(timeOffset);
}
