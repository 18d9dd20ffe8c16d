#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "engine/SerialPort.h"

// How one read ends under COMMTIMEOUTS rules, worked out before it starts.
struct SerialReadPlan {
    bool returnAtOnce = false;                // take what is there, possibly nothing
    bool returnOnFirstBytes = false;          // end as soon as any bytes are there
    std::optional<std::uint64_t> totalMs;     // limit for the whole read, from its start
    std::optional<std::uint32_t> intervalMs;  // limit between bytes, once the first has come
};

SerialReadPlan planSerialRead(const SerialTimeouts& timeouts, std::uint32_t count);

// The limit for a whole write of count bytes; none when the write waits until done.
std::optional<std::uint64_t> serialWriteLimitMs(const SerialTimeouts& timeouts,
                                                std::uint32_t count);

using SerialClock = std::chrono::steady_clock;

// start + ms, or none for no limit. Limits beyond what the clock can hold (multiplier * count
// can reach 2^64 ms) are clamped to a hundred years rather than wrapping into the past.
std::optional<SerialClock::time_point> deadlineAfter(SerialClock::time_point start,
                                                     std::optional<std::uint64_t> ms);

// The poll() timeout until the earlier of two deadlines: -1 when neither is set, 0 once it has
// passed, otherwise rounded up so that a wait never ends short of its deadline.
int pollTimeoutMs(SerialClock::time_point now, std::optional<SerialClock::time_point> first,
                  std::optional<SerialClock::time_point> second);
