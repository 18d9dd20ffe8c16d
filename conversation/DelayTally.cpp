#include "conversation/DelayTally.h"

#include <algorithm>
#include <bit>
#include <cmath>

// Below 1024 one bucket a microsecond; from 2^k (k >= 10) on, 512 buckets split each doubling.
std::size_t DelayTally::bucketOf(std::uint64_t micros) {
    if (micros < kExactBelow) return static_cast<std::size_t>(micros);
    const int exponent = static_cast<int>(std::bit_width(micros)) - 1;  // 10 and more
    const int shift = exponent - 9;
    const std::uint64_t step = (micros >> shift) - kStepsPerDoubling;  // 0..511
    return kExactBelow + static_cast<std::size_t>(exponent - 10) * kStepsPerDoubling +
           static_cast<std::size_t>(step);
}

std::uint64_t DelayTally::upperEdge(std::size_t bucket) {
    if (bucket < kExactBelow) return bucket;
    const std::size_t above = bucket - kExactBelow;
    const int shift = static_cast<int>(above / kStepsPerDoubling) + 1;
    const std::uint64_t step = above % kStepsPerDoubling + kStepsPerDoubling;
    return ((step + 1) << shift) - 1;
}

void DelayTally::add(std::uint64_t micros) {
    ++buckets_[std::min(bucketOf(micros), kBuckets - 1)];
    ++count_;
    max_ = std::max(max_, micros);
}

std::uint64_t DelayTally::percentileMicros(double fraction) const {
    if (count_ == 0) return 0;
    const auto rank = static_cast<std::uint64_t>(
        std::max(1.0, std::ceil(fraction * static_cast<double>(count_))));
    std::uint64_t seen = 0;
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
        seen += buckets_[bucket];
        if (seen >= rank) return std::min(upperEdge(bucket), max_);
    }
    return max_;
}
