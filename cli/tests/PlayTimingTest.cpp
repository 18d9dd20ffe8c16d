#include <gtest/gtest.h>

#include "cli/PlayTiming.h"

namespace {
constexpr std::int64_t kMicrosecondTicks = 1'000'000;

ChunkTiming lateBy(std::int64_t microseconds, std::uint32_t length = 1) {
    return {1000, 1000 + microseconds, length, true};
}

// A percentile is the upper edge of the bucket that holds the exact value.
void expectInBucketOf(double percentile, double exact) {
    EXPECT_GE(percentile, exact);
    EXPECT_LE(percentile, exact + PlayTimingTally::kBucketMs * 1.001);
}
}  // namespace

TEST(PlayTiming, SummaryCountsWrittenChunksAndKeepsTheirOrderForDrift) {
    PlayTimingTally tally(kMicrosecondTicks);
    tally.add(lateBy(200, 3));
    tally.add(lateBy(2500, 4));
    tally.add({9000, 9000, 9, false});  // refused: neither sent nor timed
    tally.add(lateBy(600, 5));
    const PlayTimingSummary summary = tally.summary();
    EXPECT_EQ(summary.chunks, 3u);
    EXPECT_EQ(summary.bytes, 12u);
    EXPECT_EQ(summary.refusedChunks, 1u);
    expectInBucketOf(summary.p50Ms, 0.6);
    EXPECT_DOUBLE_EQ(summary.p99Ms, 2.5);  // never above the largest
    EXPECT_DOUBLE_EQ(summary.maxMs, 2.5);
    EXPECT_EQ(summary.laterThan1Ms, 1u);
    EXPECT_DOUBLE_EQ(summary.firstMs, 0.2);
    EXPECT_DOUBLE_EQ(summary.lastMs, 0.6);

    const std::string json = playTimingJson(summary);
    EXPECT_NE(json.find("\"chunks\": 3,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"lateness_max_ms\": 2.500,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"last_chunk_lateness_ms\": 0.600\n}"), std::string::npos) << json;
}

TEST(PlayTiming, PercentilesByNearestRankToABucketAndBeyondTheLastBucket) {
    PlayTimingTally tally(kMicrosecondTicks);
    for (int i = 1; i <= 100; ++i) tally.add(lateBy(i * 100));  // 0.1 .. 10 ms
    PlayTimingSummary summary = tally.summary();
    expectInBucketOf(summary.p50Ms, 5.0);
    expectInBucketOf(summary.p99Ms, 9.9);

    tally.add(lateBy(3'000'000));  // 3 s: past the buckets, still the exact largest
    summary = tally.summary();
    EXPECT_DOUBLE_EQ(summary.maxMs, 3000.0);
    expectInBucketOf(summary.p50Ms, 5.1);
}
