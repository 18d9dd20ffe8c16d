#pragma once

#include <array>
#include <cstdint>

// Delays in microseconds added up in fixed room, however many come: exact below 1024 µs, above
// that within 0.2 % (512 steps per doubling). Percentiles by nearest rank are the upper edge of
// their step, never above the largest delay seen.
class DelayTally {
public:
    void add(std::uint64_t micros);
    std::uint64_t count() const { return count_; }
    std::uint64_t maxMicros() const { return max_; }
    // fraction in (0, 1]; 0 when nothing was added.
    std::uint64_t percentileMicros(double fraction) const;

private:
    static constexpr unsigned kExactBelow = 1024;
    static constexpr unsigned kStepsPerDoubling = 512;
    static constexpr std::size_t kBuckets = kExactBelow + 55 * kStepsPerDoubling;

    static std::size_t bucketOf(std::uint64_t micros);
    static std::uint64_t upperEdge(std::size_t bucket);

    std::array<std::uint64_t, kBuckets> buckets_{};
    std::uint64_t count_ = 0;
    std::uint64_t max_ = 0;
};
