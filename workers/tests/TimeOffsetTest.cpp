#include <gtest/gtest.h>

#include "workers/PerfCounter.h"
#include "workers/TimeOffset.h"

TEST(TimeOffset, TruncatesToWholeTenths) {
    const std::int64_t frequency = 10'000'000;  // a typical performance counter
    EXPECT_EQ(timeOffsetBetween(500, 500, frequency), 0u);
    EXPECT_EQ(timeOffsetBetween(0, 999'999, frequency), 0u);
    EXPECT_EQ(timeOffsetBetween(0, 1'000'000, frequency), 1u);
    EXPECT_EQ(timeOffsetBetween(0, 20'999'999, frequency), 20u);
}

TEST(TimeOffset, DividesTheFrequencyFirstAsTheRecordedFilesDo) {
    // 3'579'545 Hz (an old ACPI timer): ticks per tenth truncate to 357'954.
    EXPECT_EQ(timeOffsetBetween(0, 357'954 * 7, 3'579'545), 7u);
    EXPECT_EQ(timeOffsetBetween(0, 357'954 * 7 - 1, 3'579'545), 6u);
}

TEST(TimeOffset, KeepsTheLow32BitsOfVeryLongRuns) {
    const std::int64_t frequency = 10;
    EXPECT_EQ(timeOffsetBetween(0, (std::int64_t{1} << 32) + 5, frequency), 5u);
}

TEST(TimeOffset, SlowCounterDoesNotDivideByZero) {
    EXPECT_EQ(counterTicksPerTenth(5), 1);
    EXPECT_EQ(timeOffsetBetween(0, 42, 5), 42u);
}

TEST(TimeOffset, SystemCounterAdvancesMonotonically) {
    std::int64_t frequency = perfCounterFrequency();
    ASSERT_GE(frequency, 1000);
    std::int64_t first = perfCounterNow();
    std::int64_t second = perfCounterNow();
    EXPECT_LE(first, second);
}

// The wait before a chunk that is not due yet: ten tenths give 100 ms, never more than the bound,
// and offsets whose tenfold does not fit 32 bits do not wrap into waits of a few milliseconds.
TEST(TimeOffset, WaitBeforeAChunkIsTheTimeUntilItIsDueButAtMostTheBound) {
    struct Case {
        std::uint32_t timeOffset, playClock, expectedMs;
    };
    const Case cases[] = {
        {5, 0, 50},
        {5, 4, 10},
        {5, 5, 0},
        {5, 9, 0},
        {60, 10, 500},
        {429'496'729, 0, 500},
        {429'496'730, 0, 500},   // 32 bits: 4 ms
        {429'496'750, 10, 500},  // 32 bits: 104 ms
        {429'496'800, 70, 500},  // 32 bits: 4 ms
        {858'993'460, 0, 500},   // 32 bits: 8 ms
        {0xFFFF'FFFFu, 0, 500},
        {0xFFFF'FFFFu, 0xFFFF'FFFEu, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(waitBeforeChunkMs(c.timeOffset, c.playClock, 500), c.expectedMs)
            << c.timeOffset << " at " << c.playClock;
    }
}

TEST(PlayClock, SpeedScalesTheClockAndSpeedOneKeepsItExact) {
    EXPECT_EQ(playClockFrequency(3'579'545, 1.0), 3'579'545);
    EXPECT_EQ(playClockFrequency(1'000'000'000, 2.0), 500'000'000);
    const std::int64_t slowest = playClockFrequency(1'000'000'000, 0.1);
    EXPECT_EQ(slowest, 10'000'000'000);
    // The last offset a file can hold, at the slowest speed, is still due at a 64-bit instant.
    EXPECT_EQ(chunkDueAt(7, 0xFFFFFFFFu, counterTicksPerTenth(slowest)),
              7 + std::int64_t{0xFFFFFFFF} * 1'000'000'000);
}
