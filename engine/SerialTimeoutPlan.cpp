#include "engine/SerialTimeoutPlan.h"

#include <algorithm>
#include <climits>

namespace {

// 64-bit on purpose: multiplier * count overflows 32 bits for ordinary values.
std::optional<std::uint64_t> totalLimit(std::uint32_t multiplier, std::uint32_t constant,
                                        std::uint32_t count) {
    if (multiplier == 0 && constant == 0) return std::nullopt;
    return std::uint64_t{multiplier} * count + constant;
}

}  // namespace

// Follows what the Windows serial driver does with the record, including its special cases for
// an interval of MAXDWORD; every other combination is a total and/or an interval limit.
SerialReadPlan planSerialRead(const SerialTimeouts& t, std::uint32_t count) {
    SerialReadPlan plan;
    if (t.readIntervalTimeout == kSerialTimeoutMax) {
        if (t.readTotalTimeoutMultiplier == 0 && t.readTotalTimeoutConstant == 0) {
            plan.returnAtOnce = true;
        } else if (t.readTotalTimeoutConstant != kSerialTimeoutMax) {
            plan.returnOnFirstBytes = true;
            // A multiplier of MAXDWORD means "the constant alone", not a huge product.
            std::uint32_t multiplier = t.readTotalTimeoutMultiplier == kSerialTimeoutMax
                                           ? 0
                                           : t.readTotalTimeoutMultiplier;
            plan.totalMs = std::uint64_t{multiplier} * count + t.readTotalTimeoutConstant;
        }
        // A constant of MAXDWORD here has no special meaning: the read waits for count bytes.
        return plan;
    }
    plan.totalMs = totalLimit(t.readTotalTimeoutMultiplier, t.readTotalTimeoutConstant, count);
    if (t.readIntervalTimeout != 0) plan.intervalMs = t.readIntervalTimeout;
    return plan;
}

std::optional<std::uint64_t> serialWriteLimitMs(const SerialTimeouts& t, std::uint32_t count) {
    return totalLimit(t.writeTotalTimeoutMultiplier, t.writeTotalTimeoutConstant, count);
}

std::optional<SerialClock::time_point> deadlineAfter(SerialClock::time_point start,
                                                     std::optional<std::uint64_t> ms) {
    if (!ms) return std::nullopt;
    constexpr std::uint64_t kHundredYearsMs = 100ull * 366 * 24 * 60 * 60 * 1000;
    return start + std::chrono::milliseconds(std::min(*ms, kHundredYearsMs));
}

int pollTimeoutMs(SerialClock::time_point now, std::optional<SerialClock::time_point> first,
                  std::optional<SerialClock::time_point> second) {
    if (!first && !second) return -1;
    SerialClock::time_point deadline = first && second ? std::min(*first, *second)
                                       : first         ? *first
                                                       : *second;
    if (deadline <= now) return 0;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<decltype(left)>(left, INT_MAX));
}
