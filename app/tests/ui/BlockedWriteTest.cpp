// Closing the window while a playback write is held up: the device side of the pair (COM6)
// never reads, so the pair fills and the program's write to COM5 stops moving, as it does under
// hardware flow control. The program must still end soon after WM_CLOSE.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/tests/ui/UiTestSupport.h"

TEST(BlockedWrite, ClosingWhilePlaybackIsHeldUpEndsTheProgramWithinThreeSeconds) {
    TestDevice device;
    ASSERT_TRUE(device.open());
    UiProgram program;
    usePort(program, device);
    // About 1 MB, all due at once: far more than the pair holds (32 KiB under Wine).
    std::vector<std::pair<std::uint32_t, std::string>> chunks;
    for (int i = 0; i < 4000; ++i)
        chunks.push_back({0, std::string(255, static_cast<char>('a' + i % 26))});
    const std::string file = program.folder() + "\\held-up.ser";
    ASSERT_TRUE(writeSerialFile(file, chunks));
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    ASSERT_TRUE(waitUntil([&] { return program.enabled(IDC_PLAY_BUTTON); }, kStateLimit))
        << "the file did not open";

    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Playing"));
    std::this_thread::sleep_for(1500ms);
    ASSERT_EQ(program.text(IDC_STATUS_LINE), "Playing") << "the pair took the whole recording";

    const auto closeAt = std::chrono::steady_clock::now();
    DWORD exitCode = 1;
    const bool ended = program.close(3s, &exitCode);
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - closeAt)
                            .count();
    std::printf(
        "[ measured ] the program ended %lld ms after WM_CLOSE while its write was held up\n",
        static_cast<long long>(tookMs));
    // Reads the pair empty for the next test (and frees a program that still waits).
    device.receive(std::numeric_limits<std::size_t>::max(), 2s);
    EXPECT_TRUE(ended) << "still running 3 s after WM_CLOSE";
    if (ended) {
        EXPECT_EQ(exitCode, 0u);
    }
}
