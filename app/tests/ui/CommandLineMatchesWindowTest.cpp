// veltrane-cli.exe converts as the window does: its export and import give the same bytes as the
// window's Export and Import dialogs with the same choices.
#include "app/tests/ui/UiTestSupport.h"

namespace {

// Every byte value, in chunks that start late enough for the time column to widen.
const std::vector<std::pair<std::uint32_t, std::string>> kChunks = {
    {0, std::string("\x00\x01 AZaz~\x7F", 9)},
    {15, std::string(200, '\xFE')},
    {123456, "0123456789"},
};

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : handle_(handle) {}
    ~OwnedHandle() {
        if (handle_) CloseHandle(handle_);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// The built veltrane-cli.exe with these arguments: its exit code, -1 when it did not run or end.
int runCommandLine(const std::string& arguments) {
    std::string program = VELTRANE_CLI_PATH;
    if (!program.empty() && program[0] == '/') program = "Z:" + program;  // the build's Linux path
    for (char& c : program) {
        if (c == '/') c = '\\';
    }
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        return -1;
    }
    OwnedHandle process(info.hProcess);
    OwnedHandle thread(info.hThread);
    DWORD code = 0;
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &code)) {
        return -1;
    }
    return static_cast<int>(code);
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(CommandLine, ExportsTheBytesOfTheWindowsExport) {
    UiProgram program;
    const std::string serialFile = program.folder() + "\\bytes.ser";
    ASSERT_TRUE(writeSerialFile(serialFile, kChunks));
    ASSERT_TRUE(started(program, quoted(serialFile)));

    // Space delimited binary data without the position column.
    const std::string byWindow = program.folder() + "\\window.txt";
    UiDialog dialog = openDialog(program, ID_EXPORT, "Export");
    ASSERT_TRUE(dialog) << "no \"Export\" dialog";
    ASSERT_TRUE(dialog.click(IDC_EXPORT_SHOW_POSITION));
    ASSERT_TRUE(dialog.choose(IDC_EXPORT_TYPE_LIST, 0));
    ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, byWindow));
    ASSERT_TRUE(closeDialog(dialog, IDOK));

    const std::string byCommandLine = program.folder() + "\\cli.txt";
    ASSERT_EQ(runCommandLine("export " + quoted(serialFile) + " --format hex --no-position -o " +
                             quoted(byCommandLine)),
              0);
    const std::string exported = fileBytes(byWindow);
    EXPECT_NE(exported.find("12345.600000:0x30 0x31 "), std::string::npos) << exported;
    EXPECT_EQ(fileBytes(byCommandLine), exported);
}

TEST(CommandLine, ImportsTheSerialFileOfTheWindowsImport) {
    UiProgram program;
    const std::string input = program.folder() + "\\input.txt";
    ASSERT_TRUE(writeFileBytes(input, "0x41 0x42, 43 44 zz 0D0A ff 00 01 02 03 04 05 06 07 08"));
    const std::set<std::string> temporaryBefore = temporaryFiles();
    ASSERT_TRUE(started(program));

    UiDialog dialog = openDialog(program, ID_IMPORT, "Import");
    ASSERT_TRUE(dialog) << "no \"Import\" dialog";
    const std::vector<std::string> speeds = dialog.entries(IDC_IMPORT_SPEED_LIST);
    const auto speed = std::find(speeds.begin(), speeds.end(), "110");
    ASSERT_NE(speed, speeds.end());
    ASSERT_TRUE(dialog.setText(IDC_IMPORT_FILE_EDIT, input));
    ASSERT_TRUE(dialog.choose(IDC_IMPORT_FORMAT_LIST, 1));  // hex text
    ASSERT_TRUE(dialog.choose(IDC_IMPORT_SPEED_LIST, static_cast<int>(speed - speeds.begin())));
    ASSERT_TRUE(closeDialog(dialog, IDOK));
    EXPECT_EQ(program.text(IDC_TIME_DISPLAY), "00:00.9");  // the second chunk at 110 bit/s
    const std::vector<std::string> working = newFilesWithData(temporaryBefore);
    ASSERT_EQ(working.size(), 1u) << "the window's working file";

    const std::string byCommandLine = program.folder() + "\\cli.ser";
    ASSERT_EQ(runCommandLine("import " + quoted(input) + " --format hex --baud 110 -o " +
                             quoted(byCommandLine)),
              0);
    EXPECT_EQ(readRecordedFile(byCommandLine).lengths, (std::vector<std::size_t>{10, 6}));
    EXPECT_EQ(fileBytes(byCommandLine), fileBytes(working[0]));
}

}  // namespace
