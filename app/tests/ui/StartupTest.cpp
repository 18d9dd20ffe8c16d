// Start-up and shutdown of the main window: what a first start shows, which window settings come
// back from the registry, starting hidden, and what closing writes.
#include <cstdint>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

struct Size {
    long width;
    long height;
};

Size sizeOf(const RECT& rect) { return {rect.right - rect.left, rect.bottom - rect.top}; }

// The size of the main window as a first start shows it.
Size defaultWindowSize() {
    UiProgram program;
    if (!program.start()) return {-1, -1};
    return sizeOf(program.rect());
}

}  // namespace

TEST(Startup, FirstStartWithAnEmptyRegistryShowsAStoppedCentredWindow) {
    UiProgram program;
    ASSERT_TRUE(started(program));

    EXPECT_EQ(program.text(IDC_STATUS_LINE), "OK");
    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:00.0");
    EXPECT_EQ(transportControlsOf(program), kStoppedWithoutFile);
    EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s)) << "the window is not shown";
    EXPECT_TRUE(centredOnScreen(program.rect()));
    EXPECT_FALSE(program.topmost());
    EXPECT_EQ(program.menuItemState(ID_ALWAYS_ON_TOP), kEnabled);
    EXPECT_NE(program.tray(), nullptr) << "no \"SysTray_Class\" window";

    // Closing writes the window's settings: shown, where it was, not on top.
    RECT shown = program.rect();
    DWORD exitCode = 1;
    ASSERT_TRUE(program.close(10s, &exitCode)) << "still running 10 s after WM_CLOSE";
    EXPECT_EQ(exitCode, 0u);
    DWORD windowState = 9;
    DWORD alwaysOnTop = 9;
    std::vector<std::uint8_t> position;
    EXPECT_TRUE(program.readDword("Window", "WindowState", windowState));
    EXPECT_EQ(windowState, 0u);
    EXPECT_TRUE(program.readDword("Window", "AlwaysOnTop", alwaysOnTop));
    EXPECT_EQ(alwaysOnTop, 0u);
    EXPECT_TRUE(program.readBinary("Window", "Position", position));
    EXPECT_EQ(position, positionValue(shown.left, shown.top, shown.right - shown.left,
                                      shown.bottom - shown.top));
}

TEST(Startup, StoredPlaceAndAlwaysOnTopAreRestoredButNotTheStoredSize) {
    Size size = defaultWindowSize();
    ASSERT_GT(size.width, 0) << "a first start for the window's size failed";

    UiProgram program;
    ASSERT_TRUE(program.writeBinary("Window", "Position", positionValue(100, 120, 900, 700)));
    ASSERT_TRUE(program.writeDword("Window", "AlwaysOnTop", 1));
    ASSERT_TRUE(started(program));

    RECT rect = program.rect();
    EXPECT_EQ(rect.left, 100);
    EXPECT_EQ(rect.top, 120);
    EXPECT_EQ(rect.right - rect.left, size.width) << "the stored width was taken";
    EXPECT_EQ(rect.bottom - rect.top, size.height) << "the stored height was taken";
    EXPECT_TRUE(program.topmost());
    EXPECT_EQ(program.menuItemState(ID_ALWAYS_ON_TOP), kEnabledChecked);
    EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s)) << "the window is not shown";

    ASSERT_TRUE(program.close(10s));
    std::vector<std::uint8_t> position;
    DWORD alwaysOnTop = 9;
    EXPECT_TRUE(program.readBinary("Window", "Position", position));
    EXPECT_EQ(position, positionValue(100, 120, size.width, size.height));
    EXPECT_TRUE(program.readDword("Window", "AlwaysOnTop", alwaysOnTop));
    EXPECT_EQ(alwaysOnTop, 1u);
}

TEST(Startup, PositionWithTheUnsetMarkerOrOfAnotherLengthIsIgnored) {
    {
        UiProgram program;
        ASSERT_TRUE(
            program.writeBinary("Window", "Position", positionValue(INT32_MIN, 40, 300, 100)));
        ASSERT_TRUE(started(program));
        EXPECT_TRUE(centredOnScreen(program.rect())) << "with 0x80000000 as left";
    }
    {
        UiProgram program;
        std::vector<std::uint8_t> twelveBytes = positionValue(30, 40, 300, 100);
        twelveBytes.resize(12);
        ASSERT_TRUE(program.writeBinary("Window", "Position", twelveBytes));
        ASSERT_TRUE(started(program));
        EXPECT_TRUE(centredOnScreen(program.rect())) << "with a 12-byte value";
    }
}

TEST(Startup, ClosedHiddenStartsHiddenUntilTheTrayShowsIt) {
    UiProgram program;
    ASSERT_TRUE(program.writeDword("Window", "WindowState", 1));
    ASSERT_TRUE(started(program));
    HWND tray = program.tray();
    ASSERT_NE(tray, nullptr) << "no \"SysTray_Class\" window";

    // Well past the half second in which the window refuses to be shown.
    std::this_thread::sleep_for(1200ms);
    EXPECT_FALSE(program.visible());

    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s))
        << "a double-click on the tray icon does not show the window";
    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(waitUntil([&] { return !program.visible(); }, 3s))
        << "a second double-click does not hide the window";

    // Closed while hidden: the next start is hidden again.
    ASSERT_TRUE(program.close(10s));
    DWORD windowState = 9;
    EXPECT_TRUE(program.readDword("Window", "WindowState", windowState));
    EXPECT_EQ(windowState, 1u);
}

TEST(Tray, HideShowCommandAndMinimiseHideTheWindowAndTheTrayBringsItBack) {
    UiProgram program;
    ASSERT_TRUE(started(program));
    HWND tray = program.tray();
    ASSERT_NE(tray, nullptr) << "no \"SysTray_Class\" window";
    ASSERT_TRUE(waitUntil([&] { return program.visible(); }, 3s)) << "the window is not shown";

    ASSERT_TRUE(program.post(tray, WM_COMMAND, MAKEWPARAM(ID_TRAY_HIDE_SHOW, 0), 0));
    EXPECT_TRUE(waitUntil([&] { return !program.visible(); }, 3s)) << "Hide/Show did not hide";
    ASSERT_TRUE(program.post(tray, WM_COMMAND, MAKEWPARAM(ID_TRAY_HIDE_SHOW, 0), 0));
    EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s)) << "Hide/Show did not show";

    // Minimising hides instead; the tray's double-click brings the window back.
    ASSERT_TRUE(program.post(program.window(), WM_SYSCOMMAND, SC_MINIMIZE, 0));
    EXPECT_TRUE(waitUntil([&] { return !program.visible(); }, 3s)) << "minimise did not hide";
    EXPECT_FALSE(IsIconic(program.window())) << "minimise minimised instead of hiding";
    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_LBUTTONDBLCLK));
    EXPECT_TRUE(waitUntil([&] { return program.visible(); }, 3s))
        << "a double-click on the tray icon does not show the window";

    // Single clicks and right-button releases do nothing.
    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_LBUTTONDOWN));
    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_LBUTTONUP));
    ASSERT_TRUE(program.post(tray, WM_USER + 1, 10000, WM_RBUTTONUP));
    EXPECT_TRUE(program.visible());
}

// The tray stays usable while a dialog of ours is up, but its About must not open a second
// dialog over that one: it shows the waiting dialog instead, and works again once it is closed.
TEST(Tray, AboutWaitsWhileADialogOfOursIsUp) {
    UiProgram program;
    ASSERT_TRUE(started(program));
    HWND tray = program.tray();
    ASSERT_NE(tray, nullptr) << "no \"SysTray_Class\" window";
    UiDialog settings = openDialog(program, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(settings);

    ASSERT_TRUE(program.post(tray, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0));
    EXPECT_FALSE(program.dialog("About Veltrane", 2s)) << "About opened over Device Settings";
    EXPECT_TRUE(settings.visible());

    ASSERT_TRUE(closeDialog(settings, IDCANCEL));
    ASSERT_TRUE(program.post(tray, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, 0), 0));
    UiDialog about = program.dialog("About Veltrane", kDialogLimit);
    ASSERT_TRUE(about) << "the tray's About does nothing once no dialog is up";
    EXPECT_TRUE(closeDialog(about, IDOK));
}
