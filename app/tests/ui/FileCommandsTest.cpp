// File commands: the path on the command line, Open and Save as through the file dialogs, and the
// recent-file list as the registry holds it before the start and after the close.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// A serial file in the program's folder whose length, in tenths, is `length`.
std::string serialFileOf(const UiProgram& program, const std::string& name, std::uint32_t length) {
    std::string path = program.folder() + "\\" + name;
    if (!writeSerialFile(path, {{0, "first " + name}, {length, "last " + name}})) return {};
    return path;
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// Values "1" to "5" of section "RecentFiles"; "<none>" where there is no value.
std::vector<std::string> storedRecentFiles(const UiProgram& program) {
    std::vector<std::string> values;
    for (int number = 1; number <= 5; ++number) {
        std::string path = "<none>";
        program.readString("RecentFiles", std::to_string(number), path);
        values.push_back(path);
    }
    return values;
}

::testing::AssertionResult showsLength(const UiProgram& program, unsigned long tenths) {
    if (waitUntil([&] { return program.text(IDC_TIME_DISPLAY) == timeText(tenths); },
                  kStateLimit) &&
        program.sliderMax() == static_cast<long>(tenths) &&
        transportControlsOf(program) == kStoppedWithFile) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "the time display shows \"" << program.text(IDC_TIME_DISPLAY)
           << "\", the slider ends at " << program.sliderMax() << ", Play is "
           << (program.enabled(IDC_PLAY_BUTTON) ? "enabled" : "disabled") << "; expected "
           << timeText(tenths);
}

}  // namespace

TEST(CommandLine, AQuotedPathWithASpaceOpensThatFile) {
    UiProgram program;
    const std::string file = serialFileOf(program, "two chunks.ser", 15);
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(started(program, quoted(file)));
    EXPECT_TRUE(showsLength(program, 15));
    EXPECT_EQ(program.shownBoxes(), std::vector<std::string>{});
}

TEST(CommandLine, AnUnquotedPathIsCutAtTheSpaceAndItsOpenFails) {
    UiProgram program;
    const std::string file = serialFileOf(program, "two chunks.ser", 15);
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(started(program, file));

    std::string text;
    ASSERT_TRUE(dismissErrorBox(program, text));
    EXPECT_EQ(text.rfind("Couldnt open file!", 0), 0u) << text;
    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:00.0");
    EXPECT_EQ(transportControlsOf(program), kStoppedWithoutFile);
    EXPECT_EQ(menuDifferences(program, {{ID_SAVE_AS, kGrayed}, {ID_EXPORT, kGrayed}}), "");

    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program)[0], "<none>") << "a failed open was listed";
}

TEST(FileDialogs, OpenLoadsTheChosenFileAndListsIt) {
    UiProgram program;
    const std::string file = serialFileOf(program, "opened.ser", 23);
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(started(program));

    ASSERT_TRUE(program.command(ID_FILE_OPEN));
    ASSERT_TRUE(chooseFile(program, file));
    EXPECT_TRUE(showsLength(program, 23));

    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program)[0], file);
}

TEST(FileDialogs, SaveAsCopiesTheCurrentFileWhichStaysCurrent) {
    UiProgram program;
    const std::string file = serialFileOf(program, "original.ser", 15);
    const std::string copy = program.folder() + "\\saved copy.ser";
    ASSERT_FALSE(file.empty());
    ASSERT_TRUE(started(program, quoted(file)));

    ASSERT_TRUE(program.command(ID_SAVE_AS));
    ASSERT_TRUE(chooseFile(program, copy));
    EXPECT_EQ(fileBytes(copy), fileBytes(file));
    EXPECT_TRUE(showsLength(program, 15));

    ASSERT_TRUE(program.close(10s));
    std::vector<std::string> stored = storedRecentFiles(program);
    EXPECT_EQ(stored[0], copy);
    EXPECT_EQ(stored[1], file);
}

TEST(RecentFiles, StoredNumbersWithGapsCloseUpInOrder) {
    UiProgram program;
    const std::string a = serialFileOf(program, "a.ser", 10);
    const std::string b = serialFileOf(program, "b.ser", 20);
    ASSERT_TRUE(program.writeString("RecentFiles", "2", a));
    ASSERT_TRUE(program.writeString("RecentFiles", "4", b));
    ASSERT_TRUE(started(program));

    // Two entries replace the placeholder.
    EXPECT_EQ(menuDifferences(program, {{ID_NO_RECENT_FILES, kAbsent},
                                        {ID_RECENT_FILE_FIRST, kEnabled},
                                        {ID_RECENT_FILE_FIRST + 1, kEnabled},
                                        {ID_RECENT_FILE_FIRST + 2, kAbsent}}),
              "");

    // Written back from the top; a number past the list keeps what it held.
    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program), (std::vector<std::string>{a, b, "<none>", b, "<none>"}));
}

TEST(RecentFiles, OpeningAListedFileMovesItToTheTop) {
    UiProgram program;
    const std::string a = serialFileOf(program, "a.ser", 10);
    const std::string b = serialFileOf(program, "b.ser", 20);
    const std::string c = serialFileOf(program, "c.ser", 30);
    ASSERT_TRUE(program.writeString("RecentFiles", "1", a));
    ASSERT_TRUE(program.writeString("RecentFiles", "2", b));
    ASSERT_TRUE(program.writeString("RecentFiles", "3", c));
    ASSERT_TRUE(started(program));

    // The third entry of the menu is c.
    ASSERT_TRUE(program.command(ID_RECENT_FILE_FIRST + 2));
    EXPECT_TRUE(showsLength(program, 30));

    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program), (std::vector<std::string>{c, a, b, "<none>", "<none>"}));
}

// A file that fails to open replaces the shown one all the same: nothing may still play it.
TEST(RecentFiles, AListedFileThatCannotBeOpenedLeavesNoFileShown) {
    UiProgram program;
    const std::string shown = serialFileOf(program, "shown.ser", 20);
    ASSERT_TRUE(program.writeString("RecentFiles", "1", program.folder() + "\\gone.ser"));
    ASSERT_TRUE(started(program, quoted(shown)));
    ASSERT_TRUE(showsLength(program, 20));
    ASSERT_TRUE(program.click(IDC_FORWARD_BUTTON));

    ASSERT_TRUE(program.command(ID_RECENT_FILE_FIRST + 1));  // below the file just opened
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program, text));
    EXPECT_EQ(text.rfind("Couldnt open file!", 0), 0u) << text;
    EXPECT_EQ(transportControlsOf(program), kStoppedWithoutFile);
    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:00.0");
    EXPECT_EQ(program.sliderPosition(), 0);
    EXPECT_EQ(menuDifferences(program, {{ID_PLAY, kGrayed},
                                        {ID_FAST_FORWARD, kGrayed},
                                        {ID_FAST_REWIND, kGrayed},
                                        {ID_SAVE_AS, kGrayed},
                                        {ID_EXPORT, kGrayed},
                                        {ID_RECORD, kEnabled}}),
              "");
}

TEST(RecentFiles, ASixthFileDropsTheFifth) {
    UiProgram program;
    std::vector<std::string> listed;
    for (int number = 1; number <= 5; ++number) {
        listed.push_back(serialFileOf(program, "listed " + std::to_string(number) + ".ser", 10));
        ASSERT_TRUE(program.writeString("RecentFiles", std::to_string(number), listed.back()));
    }
    const std::string sixth = serialFileOf(program, "sixth.ser", 60);
    ASSERT_TRUE(started(program, quoted(sixth)));
    EXPECT_TRUE(showsLength(program, 60));

    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program),
              (std::vector<std::string>{sixth, listed[0], listed[1], listed[2], listed[3]}));
}

TEST(RecentFiles, SavingOverAListedFileMovesItToTheTop) {
    UiProgram program;
    const std::string a = serialFileOf(program, "a.ser", 10);
    const std::string b = serialFileOf(program, "b.ser", 20);
    const std::string c = serialFileOf(program, "c.ser", 30);
    ASSERT_TRUE(program.writeString("RecentFiles", "1", a));
    ASSERT_TRUE(program.writeString("RecentFiles", "2", b));
    ASSERT_TRUE(program.writeString("RecentFiles", "3", c));
    ASSERT_TRUE(started(program, quoted(a)));

    ASSERT_TRUE(program.command(ID_SAVE_AS));
    UiDialog files = program.fileDialog(kDialogLimit);
    ASSERT_TRUE(files) << "no file dialog";
    ASSERT_TRUE(files.typeFileName(c));
    ASSERT_TRUE(files.click(IDOK));
    // c exists: the file dialog asks before it is replaced.
    UiDialog question = program.dialog("Error", kDialogLimit);
    ASSERT_TRUE(question) << "no question before replacing " << c;
    ASSERT_TRUE(closeDialog(question, IDYES));
    EXPECT_TRUE(waitUntil([&] { return !files.visible(); }, kStateLimit));
    EXPECT_EQ(fileBytes(c), fileBytes(a));

    ASSERT_TRUE(program.close(10s));
    EXPECT_EQ(storedRecentFiles(program), (std::vector<std::string>{c, a, b, "<none>", "<none>"}));
}
