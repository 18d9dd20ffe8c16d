// A recording onto a disk with no room left stops and says so: an error box names the working
// file and the system's reason, and the window stands stopped. An export there says so too. The
// disk is a filled tmpfs that the test's wrapper mounts (scripts/with-full-disk.sh).
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/tests/ui/UiTestSupport.h"

namespace {

// The program's temporary folder, where its working file lives, is the one given while this
// lives: programs started meanwhile inherit it.
class TemporaryFolderOfChildren {
public:
    explicit TemporaryFolderOfChildren(const std::string& folder) {
        for (const char* name : {"TMP", "TEMP"}) {
            char old[MAX_PATH] = {};
            const DWORD length = GetEnvironmentVariableA(name, old, MAX_PATH);
            saved_.emplace_back(name, std::string(old, length < MAX_PATH ? length : 0));
            SetEnvironmentVariableA(name, folder.c_str());
        }
    }
    ~TemporaryFolderOfChildren() {
        for (const auto& [name, value] : saved_) {
            SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

// The Unix folder as Wine's drive Z: shows it.
std::string windowsPathOf(std::string unixPath) {
    for (char& c : unixPath) c = c == '/' ? '\\' : c;
    return "Z:" + unixPath;
}

// Frees the disk's last bytes by cutting its filler short.
bool cutTo(const std::string& path, std::uintmax_t size) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    const bool cut = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return cut;
}

}  // namespace

TEST(FullDisk, ARecordingThatCannotBeWrittenStopsAndNamesTheFileAndTheReason) {
    const char* disk = std::getenv("VELTRANE_FULL_DISK");
    if (disk == nullptr) GTEST_SKIP() << "no full disk was mounted for this run";
    TestDevice device;
    ASSERT_TRUE(device.open());
    UiProgram program;
    usePort(program, device);
    TemporaryFolderOfChildren fullFolder(windowsPathOf(disk));
    ASSERT_TRUE(started(program));
    const std::vector<std::string> claims = program.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);
    ASSERT_EQ(claims[0].rfind(windowsPathOf(disk), 0), 0u) << claims[0];

    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program, "Recording"));
    ASSERT_TRUE(device.send(std::string(100, 'x')));
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program, text));
    const std::string expected =
        "The recording was stopped: the file " + claims[0] + " could not be written.\r\n";
    EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
    EXPECT_GT(text.size(), expected.size()) << "no reason given";
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
}

// A conversation's file is written as the monitor starts: a full disk stops it there, and says so.
TEST(FullDisk, AConversationThatCannotBeWrittenNamesTheFile) {
    const char* disk = std::getenv("VELTRANE_FULL_DISK");
    if (disk == nullptr) GTEST_SKIP() << "no full disk was mounted for this run";
    MonitoringPorts ports;
    UiProgram program;
    ASSERT_TRUE(ports.open(program));
    TemporaryFolderOfChildren fullFolder(windowsPathOf(disk));
    ASSERT_TRUE(started(program));
    const std::vector<std::string> claims = program.valueNames("Sessions");
    ASSERT_EQ(claims.size(), 1u);

    ASSERT_TRUE(program.click(IDC_RECORD_BUTTON));
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program, text));
    const std::string expected =
        "The recording was stopped: the file " + claims[0] + " could not be written.\r\n";
    EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
    EXPECT_TRUE(statusBecomes(program, "Stopped"));
}

// An export onto the full disk names the system's reason and leaves nothing there: one whose
// first write fails, and one whose write is cut short by the last few pages left.
TEST(FullDisk, AnExportThatCannotBeWrittenGivesTheSystemsReason) {
    const char* disk = std::getenv("VELTRANE_FULL_DISK");
    if (disk == nullptr) GTEST_SKIP() << "no full disk was mounted for this run";
    UiProgram program;
    const std::string serialFile = program.folder() + "\\chunks.ser";
    std::vector<std::pair<std::uint32_t, std::string>> chunks;
    for (std::uint32_t i = 0; i < 100; ++i) chunks.push_back({i, std::string(200, 'A')});
    ASSERT_TRUE(writeSerialFile(serialFile, chunks));  // over 20 kB of text
    ASSERT_TRUE(started(program, "\"" + serialFile + "\""));
    const std::string folder = windowsPathOf(disk);
    const std::string output = folder + "\\export.txt";
    char reason[256] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       ERROR_DISK_FULL, 0, reason, sizeof reason, nullptr);
    std::string expected = "Error writing " + output + ":\r\n" + std::string(reason, length);
    while (!expected.empty() && (expected.back() == '\r' || expected.back() == '\n'))
        expected.pop_back();

    const std::string filler = folder + "\\filler";
    const std::uintmax_t full = std::filesystem::file_size(filler);
    for (const std::uintmax_t room : {0, 8192}) {
        SCOPED_TRACE(room);
        if (room > 0) {
            ASSERT_TRUE(cutTo(filler, full - room)) << GetLastError();
        }
        UiDialog dialog = openDialog(program, ID_EXPORT, "Export");
        ASSERT_TRUE(dialog) << "no \"Export\" dialog";
        ASSERT_TRUE(dialog.setText(IDC_EXPORT_FILE_EDIT, output));
        ASSERT_TRUE(closeDialog(dialog, IDOK));
        std::string text;
        ASSERT_TRUE(dismissErrorBox(program, text));
        EXPECT_EQ(text.rfind(expected, 0), 0u) << text;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1)
            << "more than the filler is left on the disk";
        // The room is taken again for the tests after this one.
        std::ofstream(filler, std::ios::binary | std::ios::app) << std::string(room, '\0');
        ASSERT_EQ(std::filesystem::file_size(filler), full);
    }
}
