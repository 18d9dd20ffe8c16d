// Export and Import as the main window runs them: their dialogs, what they write, and what the
// window shows afterwards.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// A serial file of two chunks: "AB" at the start and CR LF a second and a half later.
const std::vector<std::pair<std::uint32_t, std::string>> kTwoChunks = {{0, "AB"}, {15, "\r\n"}};

const int kExportBoxes[] = {IDC_EXPORT_SHOW_HEADING, IDC_EXPORT_SHOW_TIME,
                            IDC_EXPORT_SHOW_POSITION};

// The program with a serial file of its own opened from the command line.
class Export : public ::testing::Test {
protected:
    void SetUp() override {
        serialFile_ = program_.folder() + "\\two chunks.ser";
        ASSERT_TRUE(writeSerialFile(serialFile_, kTwoChunks));
        ASSERT_TRUE(started(program_, "\"" + serialFile_ + "\""));
        ASSERT_EQ(program_.text(IDC_TIME_DISPLAY), "00:01.5") << "the serial file did not open";
    }

    // Runs the Export dialog: the file name, the entry of the type list, the boxes to click.
    ::testing::AssertionResult exportAs(const std::string& fileName, int type,
                                        std::initializer_list<int> boxesToClick = {}) {
        UiDialog dialog = openDialog(program_, ID_EXPORT, "Export");
        if (!dialog) return ::testing::AssertionFailure() << "no \"Export\" dialog";
        for (int box : boxesToClick) {
            if (!dialog.click(box)) return ::testing::AssertionFailure() << "box " << box;
        }
        if (!dialog.choose(IDC_EXPORT_TYPE_LIST, type) ||
            !dialog.setText(IDC_EXPORT_FILE_EDIT, fileName)) {
            return ::testing::AssertionFailure() << "the Export dialog takes no choices";
        }
        return closeDialog(dialog, IDOK);
    }

    UiProgram program_;
    std::string serialFile_;
};

TEST_F(Export, DialogOpensWithEveryColumnOnAsciiTextAndOkOnlyWithAName) {
    EXPECT_EQ(program_.menuItemState(ID_EXPORT), kEnabled);
    UiDialog dialog = openDialog(program_, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    for (int box : kExportBoxes) {
        EXPECT_TRUE(dialog.checked(box)) << "box " << box;
        EXPECT_TRUE(dialog.enabled(box)) << "box " << box;
    }
    EXPECT_EQ(
        dialog.entries(IDC_EXPORT_TYPE_LIST),
        (std::vector<std::string>{"Space delimited binary data", "ASCII text data", "Raw data"}));
    EXPECT_EQ(dialog.selectedText(IDC_EXPORT_TYPE_LIST), "ASCII text data");
    EXPECT_EQ(dialog.text(IDC_EXPORT_FILE_EDIT), "");
    EXPECT_FALSE(dialog.enabled(IDOK));

    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, "x"));
    EXPECT_TRUE(dialog.enabled(IDOK)) << "OK stays disabled with a name";
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, ""));
    EXPECT_FALSE(dialog.enabled(IDOK)) << "OK stays enabled without a name";

    // Raw data has no columns: the boxes are disabled but keep their marks.
    ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 2));
    for (int box : kExportBoxes) {
        EXPECT_FALSE(dialog.enabled(box)) << "box " << box << " with Raw data";
        EXPECT_TRUE(dialog.checked(box)) << "box " << box << " with Raw data";
    }
    ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 0));
    for (int box : kExportBoxes) EXPECT_TRUE(dialog.enabled(box)) << "box " << box;

    // Cancel with a name makes no file.
    const std::string output = program_.folder() + "\\cancelled.txt";
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
    ASSERT_TRUE(closeDialog(dialog, IDCANCEL));
    EXPECT_FALSE(fileExists(output));

    // Without a current file the command is grayed and not carried out.
    ASSERT_TRUE(program_.command(ID_FILE_NEW));
    EXPECT_EQ(program_.menuItemState(ID_EXPORT), kGrayed);
    ASSERT_TRUE(program_.command(ID_EXPORT));
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
}

TEST_F(Export, WritesEachChunkAsALineInTheChosenForm) {
    const std::string ascii = program_.folder() + "\\ascii.txt";
    ASSERT_TRUE(exportAs(ascii, 1));
    EXPECT_EQ(fileBytes(ascii),
              "Time(seconds) Datapos   Data...\r\n"
              "0.000000    : 00000000 AB\r\n"
              "1.500000    : 00000002 ..\r\n");

    // Each box governs its own column: without the time, the heading starts with a space.
    const std::string binary = program_.folder() + "\\binary.txt";
    ASSERT_TRUE(exportAs(binary, 0, {IDC_EXPORT_SHOW_TIME}));
    EXPECT_EQ(fileBytes(binary),
              " Datapos   Data...\r\n"
              " 00000000 0x41 0x42 \r\n"
              " 00000002 0x0D 0x0A \r\n");
    const std::string noHeading = program_.folder() + "\\no heading.txt";
    ASSERT_TRUE(exportAs(noHeading, 1, {IDC_EXPORT_SHOW_HEADING, IDC_EXPORT_SHOW_POSITION}));
    EXPECT_EQ(fileBytes(noHeading), "0.000000    :AB\r\n1.500000    :..\r\n");

    const std::string raw = program_.folder() + "\\raw.bin";
    ASSERT_TRUE(exportAs(raw, 2));
    EXPECT_EQ(fileBytes(raw), "AB\r\n");
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
}

TEST_F(Export, RefusesTheSerialFileItselfAsTheTarget) {
    const std::string before = fileBytes(serialFile_);
    ASSERT_EQ(readRecordedFile(serialFile_).data, "AB\r\n");

    // Named as it was opened, and as a relative name in other letters (the program's current
    // folder holds the file).
    for (const std::string& name : {serialFile_, std::string("TWO CHUNKS.SER")}) {
        ASSERT_TRUE(exportAs(name, 1)) << name;
        std::string text;
        ASSERT_TRUE(dismissErrorBox(program_, text)) << name;
        EXPECT_EQ(text.rfind("Cannot export to " + name, 0), 0u) << text;
        EXPECT_EQ(fileBytes(serialFile_), before) << "exporting to " << name;
    }
    // The file is still the current one and exports elsewhere.
    const std::string elsewhere = program_.folder() + "\\elsewhere.bin";
    ASSERT_TRUE(exportAs(elsewhere, 2));
    EXPECT_EQ(fileBytes(elsewhere), "AB\r\n");
}

// The program without a file; the working file is found among the new temporary files.
class Import : public ::testing::Test {
protected:
    void SetUp() override {
        temporaryBefore_ = temporaryFiles();
        ASSERT_TRUE(started(program_));
    }

    // Runs the Import dialog on a file that holds `content`.
    ::testing::AssertionResult importFile(const std::string& content, int format, int speed) {
        input_ = program_.folder() + "\\input.dat";
        if (!writeFileBytes(input_, content)) return ::testing::AssertionFailure() << input_;
        UiDialog dialog = openDialog(program_, ID_IMPORT, "Import");
        if (!dialog) return ::testing::AssertionFailure() << "no \"Import\" dialog";
        if (!dialog.setText(IDC_IMPORT_FILE_EDIT, input_) ||
            !dialog.choose(IDC_IMPORT_FORMAT_LIST, format) ||
            !dialog.choose(IDC_IMPORT_SPEED_LIST, speed)) {
            return ::testing::AssertionFailure() << "the Import dialog takes no choices";
        }
        return closeDialog(dialog, IDOK);
    }

    ::testing::AssertionResult findWorkingFile(std::string& path) {
        std::vector<std::string> found = newFilesWithData(temporaryBefore_);
        if (found.size() == 1) {
            path = found[0];
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << found.size() << " new *.tmp files with data in " << temporaryFolder();
    }

    UiProgram program_;
    std::set<std::string> temporaryBefore_;
    std::string input_;
};

TEST_F(Import, RawBytesBecomeChunksOfTenAtTheAssumedSpeed) {
    UiDialog dialog = openDialog(program_, ID_IMPORT, "Import");
    ASSERT_TRUE(dialog) << "no \"Import\" dialog";
    EXPECT_EQ(dialog.text(IDC_IMPORT_FILE_EDIT), "");
    EXPECT_FALSE(dialog.enabled(IDOK));
    EXPECT_EQ(dialog.selectedText(IDC_IMPORT_FORMAT_LIST), "Raw data");
    EXPECT_EQ(dialog.selectedText(IDC_IMPORT_SPEED_LIST), "9600");
    ASSERT_TRUE(closeDialog(dialog, IDCANCEL));

    const std::string bytes("0123456789abcdefghij\x00\x01\xFE\xFF\n", 25);
    ASSERT_TRUE(importFile(bytes, 0, 1));  // "300"

    // 300 bit/s: ten bytes take a third of a second.
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:00.6");
    EXPECT_EQ(program_.sliderMax(), 6);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    std::string workingFile;
    ASSERT_TRUE(findWorkingFile(workingFile));
    RecordedFile converted = readRecordedFile(workingFile);
    EXPECT_EQ(converted.offsets, (std::vector<std::uint32_t>{0, 3, 6}));
    EXPECT_EQ(converted.lengths, (std::vector<std::size_t>{10, 10, 5}));
    EXPECT_EQ(converted.data, bytes);
}

TEST_F(Import, HexTextPassesOverSeparatorsAndGarbage) {
    // Returns at all only when the conversion ends: the window handles nothing until then.
    ASSERT_TRUE(importFile("0A,0B;0C zz 0D", 1, 5));
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:00.0");
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    std::string workingFile;
    ASSERT_TRUE(findWorkingFile(workingFile));
    RecordedFile converted = readRecordedFile(workingFile);
    EXPECT_EQ(converted.data, "\x0A\x0B\x0C\x0D");
    EXPECT_EQ(converted.offsets, std::vector<std::uint32_t>{0});
}

TEST(ImportCancel, LeavesTheOpenFileAsItWas) {
    UiProgram program;
    const std::string serialFile = program.folder() + "\\two chunks.ser";
    ASSERT_TRUE(writeSerialFile(serialFile, kTwoChunks));
    ASSERT_TRUE(writeFileBytes(program.folder() + "\\input.dat", "some data to import"));
    std::set<std::string> temporaryBefore = temporaryFiles();
    ASSERT_TRUE(started(program, "\"" + serialFile + "\""));

    UiDialog dialog = openDialog(program, ID_IMPORT, "Import");
    ASSERT_TRUE(dialog) << "no \"Import\" dialog";
    ASSERT_TRUE(dialog.setText(IDC_IMPORT_FILE_EDIT, program.folder() + "\\input.dat"));
    ASSERT_TRUE(dialog.choose(IDC_IMPORT_SPEED_LIST, 0));
    ASSERT_TRUE(closeDialog(dialog, IDCANCEL));

    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:01.5");
    EXPECT_EQ(program.sliderMax(), 15);
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
    EXPECT_EQ(newFilesWithData(temporaryBefore), std::vector<std::string>{});
}

}  // namespace
