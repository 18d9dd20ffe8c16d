// Export and Import failures as the main window shows them, and what they leave: the error box
// names the file that failed, and the current recording survives a failed import.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// "AB" at the start and CR LF a second and a half later.
const std::vector<std::pair<std::uint32_t, std::string>> kTwoChunks = {{0, "AB"}, {15, "\r\n"}};

// The program with a serial file of its own opened from the command line, which lists it first
// among the recent files.
class ConversionFailures : public ::testing::Test {
protected:
    void SetUp() override {
        serialFile_ = program_.folder() + "\\two chunks.ser";
        ASSERT_TRUE(writeSerialFile(serialFile_, kTwoChunks));
        temporaryBefore_ = temporaryFiles();
        ASSERT_TRUE(started(program_, "\"" + serialFile_ + "\""));
        ASSERT_EQ(program_.text(IDC_TIME_DISPLAY), "00:01.5") << "the serial file did not open";
    }

    ::testing::AssertionResult runImport(const std::string& input) {
        UiDialog dialog = openDialog(program_, ID_IMPORT, "Import");
        if (!dialog) return ::testing::AssertionFailure() << "no \"Import\" dialog";
        if (!dialog.setText(IDC_IMPORT_FILE_EDIT, input)) {
            return ::testing::AssertionFailure() << "the Import dialog takes no name";
        }
        return closeDialog(dialog, IDOK);
    }

    UiProgram program_;
    std::string serialFile_;
    std::set<std::string> temporaryBefore_;
};

TEST_F(ConversionFailures, ImportOfAMissingFileShowsItAndKeepsTheRecording) {
    const std::string missing = program_.folder() + "\\no such input.dat";
    ASSERT_TRUE(runImport(missing));
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program_, text));
    EXPECT_EQ(text.rfind("Error opening " + missing + ":\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), ("Error opening " + missing + ":\r\n").size()) << "no reason given";

    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:01.5");
    EXPECT_EQ(program_.sliderMax(), 15);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    EXPECT_EQ(newFilesWithData(temporaryBefore_), std::vector<std::string>{});
}

TEST_F(ConversionFailures, ImportLeavesTheRecentFilesAsTheyWere) {
    const std::string input = program_.folder() + "\\input.dat";
    ASSERT_TRUE(writeFileBytes(input, std::string(25, 'x')));
    ASSERT_TRUE(runImport(input));
    ASSERT_EQ(transportControlsOf(program_), kStoppedWithFile) << "the import was not loaded";
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});

    ASSERT_TRUE(program_.close(10s));
    std::string first;
    EXPECT_TRUE(program_.readString("RecentFiles", "1", first));
    EXPECT_EQ(first, serialFile_) << "the working file was listed";
    std::string second;
    EXPECT_FALSE(program_.readString("RecentFiles", "2", second)) << second;
}

TEST_F(ConversionFailures, ExportToAnOutputThatCannotBeMadeNamesTheOutput) {
    const std::string output = program_.folder() + "\\no such folder\\out.txt";
    UiDialog dialog = openDialog(program_, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
    ASSERT_TRUE(closeDialog(dialog, IDOK));
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program_, text));
    EXPECT_EQ(text.rfind("Error creating " + output + ":\r\n", 0), 0u) << text;
    EXPECT_EQ(text.find(serialFile_), std::string::npos) << text;
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:01.5");
}

}  // namespace
