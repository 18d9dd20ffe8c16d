// Where a restored window goes when the place it was stored at lies on no monitor any more.
#include "app/ScreenPlacement.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A 1024 x 768 screen with a 40-pixel task bar at its foot.
constexpr ScreenRect kWorkArea{0, 0, 1024, 728};

struct PlacementCase {
    const char* what;
    ScreenRect window;
    ScreenRect expected;
};

}  // namespace

TEST(ScreenPlacement, AWindowOffTheWorkAreaComesOntoItTheShortestWay) {
    const PlacementCase cases[] = {
        {"wholly inside", {100, 120, 740, 220}, {100, 120, 740, 220}},
        {"partly outside", {-300, 700, 340, 800}, {-300, 700, 340, 800}},
        {"beyond the right and bottom", {5000, 5000, 5640, 5100}, {384, 628, 1024, 728}},
        {"beyond the left", {-20000, 300, -19360, 400}, {0, 300, 640, 400}},
        {"above the top", {200, -900, 840, -800}, {200, 0, 840, 100}},
        {"on the task bar only", {100, 730, 740, 768}, {100, 690, 740, 728}},
        {"larger than the area", {3000, -3000, 4200, -2000}, {0, 0, 1200, 1000}},
    };
    for (const PlacementCase& c : cases) {
        EXPECT_EQ(keepOnWorkArea(c.window, kWorkArea), c.expected) << c.what;
    }
}

TEST(ScreenPlacement, APlaceAtTheEndOfTheRangeKeepsTheWindowsSize) {
    constexpr std::int32_t kMax = INT32_MAX;
    ScreenRect farOff = rectAt(kMax - 10, kMax - 10, 640, 100);
    EXPECT_EQ(farOff, (ScreenRect{kMax - 640, kMax - 100, kMax, kMax}));
    EXPECT_EQ(keepOnWorkArea(farOff, kWorkArea), (ScreenRect{384, 628, 1024, 728}));
    EXPECT_EQ(rectAt(INT32_MIN, 5, -10, 20), (ScreenRect{INT32_MIN, 5, INT32_MIN, 25}));
}
