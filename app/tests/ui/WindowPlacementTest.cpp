// A stored window place that lies on no monitor any more (the monitor was removed, the screen
// became smaller) brings the window back onto the screen.
#include <cstdint>

#include "app/tests/ui/UiTestSupport.h"

namespace {

// True when the rectangle lies wholly in the work area of its nearest monitor.
::testing::AssertionResult inWorkArea(const RECT& rect) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoA(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return ::testing::AssertionFailure() << "no monitor information";
    }
    const RECT& area = monitor.rcWork;
    if (rect.left >= area.left && rect.top >= area.top && rect.right <= area.right &&
        rect.bottom <= area.bottom) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "window at (" << rect.left << ", " << rect.top << ")-(" << rect.right << ", "
           << rect.bottom << ") is not in the work area (" << area.left << ", " << area.top
           << ")-(" << area.right << ", " << area.bottom << ")";
}

}  // namespace

TEST(WindowPlacement, APlaceOffEveryMonitorComesOntoTheScreenAndIsStoredSo) {
    const std::pair<std::int32_t, std::int32_t> farOff[] = {{5000, 5000}, {-20000, -20000}};
    for (auto [left, top] : farOff) {
        SCOPED_TRACE("stored at " + std::to_string(left) + ", " + std::to_string(top));
        UiProgram program;
        ASSERT_TRUE(program.writeBinary("Window", "Position", positionValue(left, top, 600, 100)));
        ASSERT_TRUE(started(program));
        RECT shown = program.rect();
        EXPECT_TRUE(inWorkArea(shown));
        EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s)) << "the window is not shown";

        ASSERT_TRUE(program.close(10s));
        std::vector<std::uint8_t> position;
        EXPECT_TRUE(program.readBinary("Window", "Position", position));
        EXPECT_EQ(position, positionValue(shown.left, shown.top, shown.right - shown.left,
                                          shown.bottom - shown.top));
    }
}
