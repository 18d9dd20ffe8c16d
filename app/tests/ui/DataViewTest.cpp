// The data view: View > Data shows the current file's rows below the transport controls, the
// window can then be sized, the choice outlives the run, and a double-click moves the position.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/tests/ui/UiTestSupport.h"
#include "engine/SerialFile.h"

namespace {

bool dataViewShows(const UiProgram& program) {
    return IsWindowVisible(program.control(IDC_DATA_VIEW)) != FALSE;
}

bool sizable(const UiProgram& program) {
    return (GetWindowLongA(program.window(), GWL_STYLE) & WS_THICKFRAME) != 0;
}

std::vector<std::string> rowTexts(const UiProgram& program, int row) {
    std::vector<std::string> texts;
    for (int column = 0; column < 5; ++column)
        texts.push_back(program.listText(IDC_DATA_VIEW, row, column));
    return texts;
}

}  // namespace

TEST(DataView, ShowsTheRowsOfTheFileIsKeptForTheNextRunAndSeeksOnDoubleClick) {
    UiProgram program;
    const std::string file = program.folder() + "\\known.ser";
    ASSERT_TRUE(writeSerialFile(file, {{0, "hi"},
                                       {15,
                                        "\x01"
                                        "AB"},
                                       {700, "end"}}));
    ASSERT_TRUE(started(program, "\"" + file + "\""));
    EXPECT_FALSE(dataViewShows(program));
    EXPECT_FALSE(sizable(program));
    const long compactHeight = program.rect().bottom - program.rect().top;

    ASSERT_TRUE(program.command(ID_VIEW_DATA));
    ASSERT_TRUE(program.settle());
    EXPECT_TRUE(dataViewShows(program));
    EXPECT_TRUE(sizable(program));
    EXPECT_GT(program.rect().bottom - program.rect().top, compactHeight);
    EXPECT_EQ(program.menuItemState(ID_VIEW_DATA), kEnabledChecked);
    ASSERT_TRUE(waitUntil([&] { return program.listRows(IDC_DATA_VIEW) == 3; }, kStateLimit))
        << program.listRows(IDC_DATA_VIEW) << " rows";
    EXPECT_EQ(rowTexts(program, 0), (std::vector<std::string>{"0:00.0", "", "2", "68 69", "hi"}));
    EXPECT_EQ(rowTexts(program, 1),
              (std::vector<std::string>{"0:01.5", "", "3", "01 41 42", ".AB"}));
    EXPECT_EQ(rowTexts(program, 2),
              (std::vector<std::string>{"1:10.0", "", "3", "65 6E 64", "end"}));

    ASSERT_TRUE(program.doubleClickListRow(IDC_DATA_VIEW, 1));
    EXPECT_TRUE(
        waitUntil([&] { return program.text(IDC_TIME_DISPLAY) == timeText(15); }, kStateLimit))
        << program.text(IDC_TIME_DISPLAY);
    EXPECT_EQ(program.sliderPosition(), 15);

    // Sized by the user, the window comes back at that size.
    const RECT sized = {program.rect().left, program.rect().top, program.rect().right + 40,
                        program.rect().bottom + 50};
    ASSERT_TRUE(MoveWindow(program.window(), sized.left, sized.top, sized.right - sized.left,
                           sized.bottom - sized.top, TRUE));
    ASSERT_TRUE(program.settle());
    ASSERT_TRUE(program.close(kStateLimit));
    DWORD stored = 0;
    EXPECT_TRUE(program.readDword("Window", "DataView", stored));
    EXPECT_EQ(stored, 1u);

    ASSERT_TRUE(started(program, "\"" + file + "\""));
    EXPECT_TRUE(dataViewShows(program));
    EXPECT_EQ(program.rect().right - program.rect().left, sized.right - sized.left);
    EXPECT_EQ(program.rect().bottom - program.rect().top, sized.bottom - sized.top);
    EXPECT_TRUE(waitUntil([&] { return program.listRows(IDC_DATA_VIEW) == 3; }, kStateLimit));
    ASSERT_TRUE(program.command(ID_VIEW_DATA));
    ASSERT_TRUE(program.settle());
    EXPECT_FALSE(dataViewShows(program));
    EXPECT_FALSE(sizable(program));
    EXPECT_EQ(program.rect().bottom - program.rect().top, compactHeight);
}

// A 5 GiB file, nearly all of it a hole between recorded stretches: the window answers at once
// while its rows are indexed, also when the file is put away before the index is done.
TEST(DataView, AHugeFileNeverStopsTheWindowAnswering) {
    UiProgram program;
    const std::string file = program.folder() + "\\huge.ser";
    std::vector<std::pair<std::uint32_t, std::string>> chunks;
    for (std::uint32_t i = 0; i < 1000; ++i) chunks.push_back({i, "recorded " + std::to_string(i)});
    ASSERT_TRUE(writeSerialFile(file, chunks));
    std::error_code error;
    std::filesystem::resize_file(file, (std::uint64_t{5} << 30) & ~std::uint64_t{1}, error);
    ASSERT_FALSE(error) << error.message();
    // A whole chunk at the end, where the window looks for the file's length.
    std::FILE* out = std::fopen(file.c_str(), "ab");
    ASSERT_NE(out, nullptr);
    std::uint8_t last[kMaxChunkSize];
    const std::size_t size =
        encodeChunk(5000, reinterpret_cast<const std::uint8_t*>("end"), 3, last);
    EXPECT_EQ(std::fwrite(last, 1, size, out), size);
    std::fclose(out);
    ASSERT_TRUE(program.writeDword("Window", "DataView", 1));
    ASSERT_TRUE(started(program, "\"" + file + "\""));

    auto slowestAnswer = [&](auto action) {
        std::chrono::steady_clock::duration slowest{};
        for (int i = 0; i < 10; ++i) {
            const auto start = std::chrono::steady_clock::now();
            action();
            EXPECT_TRUE(program.settle());
            slowest = std::max(slowest, std::chrono::steady_clock::now() - start);
        }
        return std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count();
    };
    EXPECT_LT(slowestAnswer([] {}), 300);
    EXPECT_TRUE(waitUntil([&] { return program.listRows(IDC_DATA_VIEW) >= 1000; }, kStateLimit));
    EXPECT_EQ(program.listText(IDC_DATA_VIEW, 999, 4), "recorded 999");
    // New puts the file away (and its index with it) while the hole is still being read.
    EXPECT_LT(slowestAnswer([&] { program.command(ID_FILE_NEW); }), 300);
    EXPECT_EQ(program.listRows(IDC_DATA_VIEW), 0);
}
