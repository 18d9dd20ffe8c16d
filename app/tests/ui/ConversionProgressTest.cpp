// Long exports and imports as the window runs them: a progress dialog that moves and cancels,
// and none at all for a short one.
// commctrl.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

// A gigabyte, as a day's recording at 115200 bit/s: a hex export or raw import of it runs for
// many seconds under Wine, and Cancel comes as soon as the bar has moved.
constexpr std::uintmax_t kLargeSize = std::uintmax_t{1} << 30;

// Full chunks of 255 bytes, one time offset a chunk, up to about `size` bytes.
bool writeLargeSerialFile(const std::string& path, std::uintmax_t size) {
    std::string block;
    for (std::uint32_t i = 0; i < 4096; ++i) {
        block += std::string("\x53\x01\0\0\0\0\xFF", 7);
        block += std::string(255, static_cast<char>('A' + i % 26));
        block += '\n';
    }
    std::ofstream out(path, std::ios::binary);
    for (std::uintmax_t written = 0; written < size; written += block.size())
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    return out.good();
}

// Files a conversion wrote beside `path` ("<name>.<8 hex digits>.tmp"), which none may leave.
long filesBeside(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = target.filename().string() + ".";
    return std::count_if(
        std::filesystem::directory_iterator(target.parent_path()), {}, [&](const auto& entry) {
            const std::string name = entry.path().filename().string();
            return name.rfind(prefix, 0) == 0 && entry.path().extension() == ".tmp";
        });
}

const std::string kOldOutput = "yesterday's export\r\n";

int barPosition(const UiDialog& dialog) {
    return static_cast<int>(SendMessageA(dialog.control(IDC_CONVERSION_BAR), PBM_GETPOS, 0, 0));
}

// Waits for the progress dialog, sees its bar move, presses Cancel.
void cancelOnceMoving(UiProgram& program, const std::string& caption) {
    UiDialog progress = program.dialog(caption, kDialogLimit);
    ASSERT_TRUE(progress) << "no \"" << caption << "\" dialog";
    ASSERT_TRUE(waitUntil([&] { return barPosition(progress) > 0; }, kStateLimit));
    const int first = barPosition(progress);
    EXPECT_TRUE(waitUntil([&] { return barPosition(progress) > first; }, kStateLimit))
        << "the bar stays at " << first;
    EXPECT_LT(barPosition(progress), 1000) << "finished before Cancel: make the input larger";
    ASSERT_TRUE(closeDialog(progress, IDCANCEL));
    ASSERT_TRUE(program.settle());
}

class ConversionProgress : public ::testing::Test {
protected:
    // The program with a serial file of its own opened.
    void start(const std::string& serialFile) {
        ASSERT_TRUE(started(program_, "\"" + serialFile + "\""));
        timeShown_ = program_.text(IDC_TIME_DISPLAY);
        sliderMax_ = program_.sliderMax();
    }
    void expectWindowAsBefore() {
        EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), timeShown_);
        EXPECT_EQ(program_.sliderMax(), sliderMax_);
        EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
        EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
    }

    UiProgram program_;
    std::string timeShown_;
    long sliderMax_ = 0;
};

}  // namespace

TEST_F(ConversionProgress, LongExportShowsProgressAndCancelKeepsTheOldOutput) {
    const std::string serialFile = program_.folder() + "\\large.ser";
    ASSERT_TRUE(writeLargeSerialFile(serialFile, kLargeSize));
    ASSERT_NO_FATAL_FAILURE(start(serialFile));
    const std::string output = program_.folder() + "\\large.txt";
    ASSERT_TRUE(writeFileBytes(output, kOldOutput));
    UiDialog dialog = openDialog(program_, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 0));  // hex: the slowest form
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
    // Clicked without waiting for the program to settle: the window must answer at once, also
    // before the progress dialog has shown itself.
    ASSERT_TRUE(PostMessageA(dialog.control(IDOK), BM_CLICK, 0, 0));
    ASSERT_TRUE(waitUntil([&] { return !dialog.visible(); }, kStateLimit));
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(program_.window(), WM_NULL, 0, 0, SMTO_NORMAL, 300, &answer), 0);

    ASSERT_NO_FATAL_FAILURE(cancelOnceMoving(program_, "Exporting"));
    EXPECT_EQ(fileBytes(output), kOldOutput);
    EXPECT_EQ(filesBeside(output), 0);
    expectWindowAsBefore();
}

TEST_F(ConversionProgress, LongImportShowsProgressAndCancelKeepsTheCurrentFile) {
    const std::string serialFile = program_.folder() + "\\two chunks.ser";
    ASSERT_TRUE(writeSerialFile(serialFile, {{0, "AB"}, {15, "\r\n"}}));
    const std::string input = program_.folder() + "\\large.dat";
    { std::ofstream create(input, std::ios::binary); }
    std::filesystem::resize_file(input, kLargeSize);
    ASSERT_NO_FATAL_FAILURE(start(serialFile));
    const std::string serialBytes = fileBytes(serialFile);

    UiDialog dialog = openDialog(program_, ID_IMPORT, "Import");
    ASSERT_TRUE(dialog) << "no \"Import\" dialog";
    ASSERT_TRUE(dialog.setText(IDC_IMPORT_FILE_EDIT, input));
    ASSERT_TRUE(closeDialog(dialog, IDOK));

    ASSERT_NO_FATAL_FAILURE(cancelOnceMoving(program_, "Importing"));
    expectWindowAsBefore();
    EXPECT_EQ(fileBytes(serialFile), serialBytes);
    // Nothing of the conversion is left beside the working file.
    const std::vector<std::string> claims = program_.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);
    EXPECT_EQ(filesBeside(claims[0]), 0);
}

// Exit from the tray, the close box's WM_CLOSE and the end of the session, each while a long
// export or import runs: the program ends soon, as if the user had cancelled, and leaves neither
// the conversion's output nor its working file and its claim.
TEST_F(ConversionProgress, LeavingDuringAConversionCancelsItAndCleansUp) {
    const std::string serialFile = program_.folder() + "\\large.ser";
    ASSERT_TRUE(writeLargeSerialFile(serialFile, kLargeSize));
    // Sixteen gigabytes of zeros, sparse: an import that ran on after the window went would
    // keep the program for minutes.
    const std::string input = program_.folder() + "\\huge.dat";
    { std::ofstream create(input, std::ios::binary); }
    std::filesystem::resize_file(input, 16 * kLargeSize);
    const std::string output = program_.folder() + "\\large.txt";
    struct Leaving {
        const char* how;
        bool exporting;
        UINT message;
        WPARAM wParam;
    } const ways[] = {{"tray Exit", true, WM_COMMAND, ID_APP_EXIT},
                      {"WM_CLOSE", false, WM_CLOSE, 0},
                      {"WM_ENDSESSION", true, WM_ENDSESSION, TRUE}};
    for (const Leaving& way : ways) {
        SCOPED_TRACE(way.how);
        ASSERT_TRUE(writeFileBytes(output, kOldOutput));
        ASSERT_NO_FATAL_FAILURE(start(serialFile));
        const std::vector<std::string> claims = program_.valueNames("Sessions");
        ASSERT_EQ(claims.size(), 1u);
        const std::string workingFile = claims[0];
        UiDialog dialog = openDialog(program_, way.exporting ? ID_EXPORT : ID_IMPORT,
                                     way.exporting ? "Export" : "Import");
        ASSERT_TRUE(dialog);
        if (way.exporting) {
            ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 0));
            ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
        } else {
            ASSERT_TRUE(dialog.setText(IDC_IMPORT_FILE_EDIT, input));
        }
        ASSERT_TRUE(closeDialog(dialog, IDOK));
        UiDialog progress =
            program_.dialog(way.exporting ? "Exporting" : "Importing", kDialogLimit);
        ASSERT_TRUE(progress);
        ASSERT_TRUE(waitUntil([&] { return barPosition(progress) > 0; }, kStateLimit));

        HWND target = way.message == WM_COMMAND ? program_.tray() : program_.window();
        ASSERT_TRUE(PostMessageA(target, way.message, way.wParam, 0));  // no settling: it ends
        EXPECT_TRUE(program_.waitForExit(kStateLimit)) << "still converting after leaving";
        EXPECT_EQ(fileBytes(output), kOldOutput);
        EXPECT_EQ(filesBeside(output), 0);
        EXPECT_FALSE(fileExists(workingFile));
        EXPECT_EQ(filesBeside(workingFile), 0);
        EXPECT_EQ(program_.valueNames("Sessions"), std::vector<std::string>{});
    }
}

TEST_F(ConversionProgress, ShortExportShowsNoProgressDialog) {
    const std::string serialFile = program_.folder() + "\\two chunks.ser";
    ASSERT_TRUE(writeSerialFile(serialFile, {{0, "AB"}, {15, "\r\n"}}));
    ASSERT_NO_FATAL_FAILURE(start(serialFile));
    const std::string output = program_.folder() + "\\small.bin";
    UiDialog dialog = openDialog(program_, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 2));
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
    ASSERT_TRUE(closeDialog(dialog, IDOK));
    // A dialog shown at all would stay for at least one tick of its timer.
    for (auto end = std::chrono::steady_clock::now() + 1500ms;
         std::chrono::steady_clock::now() < end;) {
        const auto boxes = program_.shownBoxes();
        ASSERT_EQ(std::count(boxes.begin(), boxes.end(), "Exporting"), 0);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(fileBytes(output), "AB\r\n");
}
