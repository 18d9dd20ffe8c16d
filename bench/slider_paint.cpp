// What the position slider's ticks cost: a trackbar of the main window's size with automatic
// ticks, over a 30-day recording and an hour's one (a step a tenth), painted 20 times with a
// tick a second and with 50 ticks over the range, the most the program draws. Windows only (a
// display is needed under Wine).
#include <windows.h>
// after windows.h, whose types it uses
#include <commctrl.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace {

double msPerPaint(HWND slider, int spacing) {
    SendMessageA(slider, TBM_SETTICFREQ, spacing, 0);
    constexpr int kPaints = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int paint = 0; paint < kPaints; ++paint) {
        RedrawWindow(slider, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - start;
    return spent.count() / kPaints;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    HWND slider = CreateWindowExA(0, TRACKBAR_CLASSA, "", WS_POPUP | WS_VISIBLE | TBS_AUTOTICKS, 0,
                                  0, 405, 36, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (slider == nullptr) {
        std::printf("no trackbar: error %lu\n", GetLastError());
        return 1;
    }
    const struct {
        const char* name;
        std::uint32_t tenths;
    } lengths[] = {{"1 hour", 36000u}, {"30 days", 30u * 24 * 3600 * 10}};
    for (const auto& length : lengths) {
        const int maximum = static_cast<int>(length.tenths);
        SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 0);
        SendMessageA(slider, TBM_SETRANGEMAX, TRUE, maximum);
        const int spacing = maximum / 50;
        const double everySecond = msPerPaint(slider, 10);
        const double spaced = msPerPaint(slider, spacing);
        std::printf(
            "%-8s tick a second: %7d ticks, %9.3f ms a paint; spacing %6d: %3d ticks, "
            "%7.3f ms a paint\n",
            length.name, maximum / 10, everySecond, spacing, maximum / spacing, spaced);
    }
    DestroyWindow(slider);
    return 0;
}
