#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "engine/AskEvery.h"

// The points at which a reading that has done `done` bytes asks: the first once a whole step is
// done, each next a step after the last one asked at, however far a single move went.
TEST(AskEvery, AsksAStepAfterTheLastQuestionAndNeverWithoutSomeoneToAsk) {
    AskEvery asking(100, true);
    std::vector<std::uint64_t> askedAt;
    for (std::uint64_t done : {0, 99, 100, 150, 199, 250, 349, 350, 1000, 1001})
        if (asking.due(done)) askedAt.push_back(done);
    EXPECT_EQ(askedAt, (std::vector<std::uint64_t>{100, 250, 350, 1000}));

    AskEvery nobody(100, false);
    for (std::uint64_t done : {0ull, 100ull, 1000ull, 1ull << 40})
        EXPECT_FALSE(nobody.due(done)) << done;
}
