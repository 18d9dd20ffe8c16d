#include <gtest/gtest.h>

#include "engine/TimeDisplay.h"

TEST(TimeDisplayText, MinutesSecondsAndTenths) {
    EXPECT_EQ(formatTimeDisplay(0), "00:00.0");
    EXPECT_EQ(formatTimeDisplay(9), "00:00.9");
    EXPECT_EQ(formatTimeDisplay(605), "01:00.5");
    EXPECT_EQ(formatTimeDisplay(599), "00:59.9");
    EXPECT_EQ(formatTimeDisplay(36000), "60:00.0");
    EXPECT_EQ(formatTimeDisplay(60000), "100:00.0");
    EXPECT_EQ(formatTimeDisplay(0xFFFFFFFFu), "7158278:49.5");
}
