// A serial file whose last chunk claims a time offset near the int range, as a damaged or hostile
// file may: the window opens it and plays it while it keeps answering and its memory stays small.
#include <algorithm>
#include <optional>

#include "app/SliderScale.h"
#include "app/tests/ui/UiTestSupport.h"
// after windows.h, which UiTestSupport.h brings, for the trackbar's messages
#include <commctrl.h>

namespace {

constexpr std::uint32_t kClaimedOffset = 2'147'483'000;  // tenths: almost seven years
// A window at work answers a read at once; one busy with something sized by the claimed length
// lets the read wait for seconds.
constexpr auto kAnswerLimit = 300ms;
// The program holds some tens of MB under Wine; a slider or view sized by the claimed length
// holds gigabytes.
constexpr std::uint64_t kMemoryBound = 300ull << 20;

// The time display's text, or nothing when the window did not answer within the limit.
std::optional<std::string> timeDisplayWithin(const UiProgram& program,
                                             std::chrono::milliseconds limit) {
    char buffer[64] = {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(program.control(IDC_TIME_DISPLAY), WM_GETTEXT, sizeof buffer,
                             reinterpret_cast<LPARAM>(buffer), SMTO_NORMAL,
                             static_cast<UINT>(limit.count()), &length)) {
        return std::nullopt;
    }
    return std::string(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
}

// Reads the time display every 50 ms for `period`, each read answered within the limit;
// `shown` gets the last text read.
::testing::AssertionResult answersThroughout(const UiProgram& program,
                                             std::chrono::milliseconds period, std::string& shown) {
    const auto start = std::chrono::steady_clock::now();
    for (int read = 1; std::chrono::steady_clock::now() - start < period; ++read) {
        const auto asked = std::chrono::steady_clock::now();
        std::optional<std::string> text = timeDisplayWithin(program, kAnswerLimit);
        if (!text) {
            const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - asked);
            return ::testing::AssertionFailure()
                   << "read " << read << " of the time display was not answered within "
                   << kAnswerLimit.count() << " ms (gave up after " << waited.count() << " ms)";
        }
        shown = *text;
        Sleep(50);
    }
    return ::testing::AssertionSuccess();
}

// The slider's ticks, its two ends included; -1 when it did not answer.
LRESULT sliderTicks(const UiProgram& program) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(program.control(IDC_POSITION_SLIDER), TBM_GETNUMTICS, 0, 0,
                             SMTO_NORMAL, 5000, &count)) {
        return -1;
    }
    return static_cast<LRESULT>(count);
}

::testing::AssertionResult memoryBounded(const UiProgram& program) {
    const std::uint64_t resident = program.residentBytes();
    if (resident > 0 && resident < kMemoryBound) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "the program holds " << (resident >> 20)
           << " MB resident, expected above 0 and below " << (kMemoryBound >> 20) << " MB";
}

}  // namespace

TEST(ClaimedLength, AFileClaimingYearsOpensAndPlaysWithTheWindowAnswering) {
    TestDevice device;
    ASSERT_TRUE(device.open());
    UiProgram program;
    usePort(program, device);
    const std::string file = program.folder() + "\\claims years.ser";
    ASSERT_TRUE(writeSerialFile(file, {{0, "first\r\n"}, {kClaimedOffset, "claimed last\r\n"}}));
    // Opened as Open Recent does, posted, so that the reads below meet the open at work; with
    // the data view shown, which reads the file too and follows the playback.
    ASSERT_TRUE(program.writeString("RecentFiles", "1", file));
    ASSERT_TRUE(program.writeDword("Window", "DataView", 1));
    ASSERT_TRUE(started(program));
    ASSERT_TRUE(PostMessageA(program.window(), WM_COMMAND, MAKEWPARAM(ID_RECENT_FILE_FIRST, 0), 0));

    std::string shown;
    EXPECT_TRUE(answersThroughout(program, 2s, shown));
    EXPECT_EQ(shown, timeText(kClaimedOffset)) << "the file's length is not shown";
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
    EXPECT_TRUE(memoryBounded(program)) << "after Open";
    // The window's few ticks between the ends, not one for every step of the claimed length.
    EXPECT_GT(sliderTicks(program), 2);
    EXPECT_LE(sliderTicks(program), kMostSliderTicks + 2);
    EXPECT_TRUE(waitUntil([&] { return program.listRows(IDC_DATA_VIEW) == 2; }, kStateLimit))
        << "the data view shows " << program.listRows(IDC_DATA_VIEW) << " rows";

    ASSERT_TRUE(program.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Playing"));
    EXPECT_EQ(device.receive(7, 5s), "first\r\n");
    EXPECT_TRUE(answersThroughout(program, 1s, shown));
    EXPECT_TRUE(memoryBounded(program)) << "while playing";

    ASSERT_TRUE(program.click(IDC_STOP_BUTTON));
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
}
