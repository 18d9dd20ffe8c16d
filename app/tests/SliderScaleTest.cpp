#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "app/SliderScale.h"

namespace {
constexpr std::uint32_t kIntMax = std::numeric_limits<int>::max();
constexpr std::uint32_t kUintMax = std::numeric_limits<std::uint32_t>::max();
}  // namespace

TEST(SliderScale, LengthsThatFitAreOneTenthAStep) {
    for (std::uint32_t duration : {0u, 1u, 36000u, kIntMax}) {
        EXPECT_EQ(sliderMaximumFor(duration), static_cast<int>(duration)) << duration;
        EXPECT_EQ(tenthsAtSlider(sliderMaximumFor(duration), duration), duration);
    }
    EXPECT_EQ(sliderPositionOf(12345, kIntMax), 12345);
    EXPECT_EQ(tenthsAtSlider(12345, kIntMax), 12345u);
}

TEST(SliderScale, LongerLengthsStayPositiveAndRoundTrip) {
    for (std::uint32_t duration : {kIntMax + 1u, kUintMax}) {
        const int maximum = sliderMaximumFor(duration);
        EXPECT_GT(maximum, 0) << duration;
        EXPECT_EQ(sliderPositionOf(duration, duration), maximum);
        EXPECT_EQ(tenthsAtSlider(maximum, duration), duration);  // Fast forward reaches the end
        EXPECT_EQ(sliderPositionOf(0, duration), 0);
        EXPECT_EQ(tenthsAtSlider(0, duration), 0u);
        // A position in the middle comes back within one step.
        const std::uint32_t middle = duration / 2;
        const std::uint32_t back = tenthsAtSlider(sliderPositionOf(middle, duration), duration);
        EXPECT_LE(middle - back, 1u);
    }
}

TEST(SliderScale, PositionsOutsideTheRangeAreClamped) {
    EXPECT_EQ(tenthsAtSlider(-5, kUintMax), 0u);
    EXPECT_EQ(sliderPositionOf(100, 50), 50);
}

// The trackbar draws a tick at every multiple of the spacing on each paint: a month-long
// recording must not draw hundreds of thousands of them.
TEST(SliderScale, TicksStayFewOverAnyRange) {
    const std::uint32_t thirtyDays = 30u * 24 * 60 * 60 * 10;
    for (std::uint32_t duration :
         {0u, 9u, 10u, 500u, 509u, 510u, 36000u, thirtyDays, kIntMax, kUintMax}) {
        const int maximum = sliderMaximumFor(duration);
        const int spacing = sliderTickSpacing(maximum);
        EXPECT_EQ(spacing % 10, 0) << duration;  // ticks stay on whole seconds
        EXPECT_GE(spacing, 10) << duration;
        EXPECT_LE(maximum / spacing, kMostSliderTicks) << duration;
    }
    // Short recordings keep a tick a second; longer ones tick at round times.
    EXPECT_EQ(sliderTickSpacing(360), 10);
    EXPECT_EQ(sliderTickSpacing(10 * kMostSliderTicks), 10);
    EXPECT_EQ(sliderTickSpacing(36000), 1200);                           // an hour: 2 minutes
    EXPECT_EQ(sliderTickSpacing(static_cast<int>(thirtyDays)), 864000);  // 30 days: a day
}

// The window sets these ticks one by one, so over any range they must be few, inside it (the
// trackbar draws both ends itself and refuses a tick outside) and on the spacing.
TEST(SliderScale, TickPositionsLieStrictlyInsideTheRangeOnTheSpacing) {
    EXPECT_EQ(sliderTickPositions(35), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(sliderTickPositions(30), (std::vector<int>{10, 20}));
    EXPECT_TRUE(sliderTickPositions(10).empty());
    EXPECT_TRUE(sliderTickPositions(0).empty());
    for (std::uint32_t duration : {2'147'483'000u, kIntMax, kUintMax}) {
        const int maximum = sliderMaximumFor(duration);
        const std::vector<int> ticks = sliderTickPositions(maximum);
        ASSERT_FALSE(ticks.empty()) << duration;
        EXPECT_LE(ticks.size(), static_cast<std::size_t>(kMostSliderTicks)) << duration;
        EXPECT_GT(ticks.front(), 0) << duration;
        EXPECT_LT(ticks.back(), maximum) << duration;  // no overflow past the int range
        EXPECT_EQ(ticks.back() % sliderTickSpacing(maximum), 0) << duration;
    }
}
