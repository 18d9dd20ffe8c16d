#include <gtest/gtest.h>

#include "cli/PlayTiming.h"

TEST(PlayTiming, PercentilesTakeTheNearestRank) {
    const std::vector<double> sorted = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(nearestRankPercentile(sorted, 0.50), 5);
    EXPECT_EQ(nearestRankPercentile(sorted, 0.99), 10);
    EXPECT_EQ(nearestRankPercentile({7}, 0.50), 7);
    EXPECT_EQ(nearestRankPercentile({}, 0.99), 0);
}

TEST(PlayTiming, SummaryCountsWrittenChunksAndKeepsTheirOrderForDrift) {
    const std::int64_t frequency = 1'000'000;  // a microsecond a tick
    const std::vector<ChunkTiming> timings = {
        {1000, 1200, 3, true},    // 0.2 ms late
        {5000, 7500, 4, true},    // 2.5 ms
        {9000, 9000, 9, false},   // refused: neither sent nor timed
        {12000, 12600, 5, true},  // 0.6 ms
    };
    const PlayTimingSummary summary = summarizePlayTiming(timings, frequency);
    EXPECT_EQ(summary.chunks, 3u);
    EXPECT_EQ(summary.bytes, 12u);
    EXPECT_EQ(summary.refusedChunks, 1u);
    EXPECT_DOUBLE_EQ(summary.p50Ms, 0.6);
    EXPECT_DOUBLE_EQ(summary.maxMs, 2.5);
    EXPECT_EQ(summary.laterThan1Ms, 1u);
    EXPECT_DOUBLE_EQ(summary.firstMs, 0.2);
    EXPECT_DOUBLE_EQ(summary.lastMs, 0.6);

    const std::string json = playTimingJson(summary);
    EXPECT_NE(json.find("\"chunks\": 3,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"lateness_max_ms\": 2.500,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"last_chunk_lateness_ms\": 0.600\n}"), std::string::npos) << json;
}
