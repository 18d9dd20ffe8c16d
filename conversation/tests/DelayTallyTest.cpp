// The fixed-room tally of delays against the exact percentiles of the same delays.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "conversation/DelayTally.h"

TEST(DelayTally, PercentilesAreExactBelowAMillisecondAndWithinAFifthOfAPercentAbove) {
    std::mt19937_64 random(7);
    for (const std::uint64_t range : {1'000ull, 50'000ull, 3'000'000'000ull}) {
        DelayTally tally;
        std::vector<std::uint64_t> delays(5'001);
        for (auto& delay : delays) {
            delay = random() % range;
            tally.add(delay);
        }
        std::sort(delays.begin(), delays.end());
        for (const double fraction : {0.01, 0.5, 0.99, 1.0}) {
            const auto rank = static_cast<std::size_t>(std::ceil(fraction * delays.size()));
            const std::uint64_t exact = delays[rank - 1];
            const std::uint64_t tallied = tally.percentileMicros(fraction);
            SCOPED_TRACE(std::to_string(range) + " at " + std::to_string(fraction));
            EXPECT_GE(tallied, exact);
            if (exact < 1024) {
                EXPECT_EQ(tallied, exact);
            }
            EXPECT_LE(static_cast<double>(tallied), static_cast<double>(exact) * 1.002 + 1);
        }
        EXPECT_EQ(tally.maxMicros(), delays.back());
        EXPECT_EQ(tally.count(), delays.size());
    }
    EXPECT_EQ(DelayTally().percentileMicros(0.5), 0u);
}
