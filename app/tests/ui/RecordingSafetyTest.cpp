// A recording outlives the program being killed: the next start offers it, Yes opens it and No
// deletes it; the claims of running copies and empty files are never offered.
#include <algorithm>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

constexpr const char* kClaimsSection = "Sessions";
constexpr const char* kQuestionStart = "A recording from ";
constexpr const char* kQuestionEnd = " was not saved. Open it?";
const std::string kSent = "left behind by a killed program\r\n";

class RecordingSafety : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.open());
        usePort(program_, device_);
        ASSERT_TRUE(started(program_));
    }

    // Records what the device sends a second in, waits until it is in the working file (the
    // copy's one claim), then kills the program.
    void recordAndKill(std::string& workingFile) {
        const std::vector<std::string> claims = program_.valueNames(kClaimsSection);
        ASSERT_EQ(claims.size(), 1u);
        workingFile = claims[0];
        ASSERT_TRUE(program_.click(IDC_RECORD_BUTTON));
        ASSERT_TRUE(statusBecomes(program_, "Recording"));
        std::this_thread::sleep_for(1s);
        ASSERT_TRUE(device_.send(kSent));
        EXPECT_TRUE(waitUntil([&] { return readRecordedFile(workingFile).data == kSent; }, 5s))
            << "the recording did not reach the file while it ran";
        ASSERT_TRUE(program_.kill());
        EXPECT_EQ(program_.valueNames(kClaimsSection), std::vector<std::string>{workingFile});
    }

    // Starts the program again and returns its question about the left-behind recording.
    UiDialog restartAndFindQuestion() {
        EXPECT_TRUE(started(program_));
        UiDialog question = program_.dialog("Veltrane", kDialogLimit);
        if (!question) return question;
        const std::string text = question.text(0xFFFF);
        EXPECT_EQ(text.rfind(kQuestionStart, 0), 0u) << text;
        EXPECT_GT(text.size(),
                  std::string(kQuestionStart).size() + std::string(kQuestionEnd).size());
        EXPECT_EQ(text.substr(text.size() - std::string(kQuestionEnd).size()), kQuestionEnd)
            << text;
        return question;
    }

    TestDevice device_;
    UiProgram program_;
};

}  // namespace

TEST_F(RecordingSafety, YesOpensTheKilledRecordingAsAnUnsavedOne) {
    std::string workingFile;
    ASSERT_NO_FATAL_FAILURE(recordAndKill(workingFile));
    UiDialog question = restartAndFindQuestion();
    ASSERT_TRUE(question);
    ASSERT_TRUE(closeDialog(question, IDYES));

    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    EXPECT_GE(program_.sliderMax(), 9);
    // What plays is what the killed program recorded.
    ASSERT_TRUE(program_.click(IDC_PLAY_BUTTON));
    EXPECT_EQ(device_.receive(kSent.size(), kStateLimit), kSent);
    ASSERT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_EQ(program_.valueNames(kClaimsSection), std::vector<std::string>{workingFile});

    // Still unsaved: the close asks; No deletes it, forgets it and never listed it as a recent
    // file.
    ASSERT_TRUE(program_.post(program_.window(), WM_CLOSE, 0, 0));
    UiDialog saveQuestion = program_.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(saveQuestion) << "closing did not ask about the unsaved recording";
    saveQuestion.click(IDNO);  // the program ends: only its end tells that the click arrived
    ASSERT_TRUE(program_.waitForExit(kStateLimit));
    EXPECT_FALSE(fileExists(workingFile));
    EXPECT_TRUE(program_.valueNames(kClaimsSection).empty());
    std::string recent;
    EXPECT_FALSE(program_.readString("RecentFiles", "1", recent)) << recent;
}

TEST_F(RecordingSafety, NoDeletesTheKilledRecording) {
    std::string workingFile;
    ASSERT_NO_FATAL_FAILURE(recordAndKill(workingFile));
    UiDialog question = restartAndFindQuestion();
    ASSERT_TRUE(question);
    ASSERT_TRUE(closeDialog(question, IDNO));

    EXPECT_FALSE(fileExists(workingFile));
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithoutFile);
    const std::vector<std::string> claims = program_.valueNames(kClaimsSection);
    ASSERT_EQ(claims.size(), 1u);  // only the new copy's own
    EXPECT_NE(claims[0], workingFile);
}

// Another copy that still runs (here: this test's process) keeps its file; a killed copy
// that recorded nothing leaves nothing to ask about, and its empty file goes.
TEST_F(RecordingSafety, RunningCopiesAndEmptyFilesAreNotOffered) {
    ASSERT_TRUE(program_.close(kStateLimit));
    FILETIME created{}, exited{}, kernel{}, user{};
    ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user));
    const std::string running =
        std::to_string(GetCurrentProcessId()) + " " +
        std::to_string(std::uint64_t{created.dwHighDateTime} << 32 | created.dwLowDateTime);
    const std::string runningFile = program_.folder() + "\\running.tmp";
    const std::string emptyFile = program_.folder() + "\\empty.tmp";
    ASSERT_TRUE(writeSerialFile(runningFile, {{5, "data"}}));
    ASSERT_TRUE(writeFileBytes(emptyFile, ""));
    ASSERT_TRUE(program_.writeString(kClaimsSection, runningFile, running));
    ASSERT_TRUE(program_.writeString(kClaimsSection, emptyFile, "1 1"));

    ASSERT_TRUE(started(program_));
    EXPECT_FALSE(program_.dialog("Veltrane", 3s)) << "a question was asked";
    EXPECT_TRUE(fileExists(runningFile));
    EXPECT_FALSE(fileExists(emptyFile));
    const std::vector<std::string> claims = program_.valueNames(kClaimsSection);
    EXPECT_EQ(claims.size(), 2u);  // the running one's and the new copy's
    EXPECT_NE(std::find(claims.begin(), claims.end(), runningFile), claims.end());
}

// Only No deletes the recording. Tray Exit, a close from outside (as taskkill sends) and the
// end of the Windows session all end the program while the question is up; the file and its
// note stay for the next start, which asks again.
TEST_F(RecordingSafety, AQuestionClosedWithoutAnAnswerKeepsTheRecording) {
    std::string workingFile;
    ASSERT_NO_FATAL_FAILURE(recordAndKill(workingFile));
    const struct {
        const char* how;
        std::function<bool()> end;
    } ends[] = {
        {"tray Exit",
         [&] { return PostMessageA(program_.tray(), WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0); }},
        {"WM_CLOSE", [&] { return PostMessageA(program_.window(), WM_CLOSE, 0, 0); }},
        {"WM_ENDSESSION",
         [&] { return PostMessageA(program_.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF); }},
    };
    for (const auto& end : ends) {
        SCOPED_TRACE(end.how);
        ASSERT_TRUE(restartAndFindQuestion());
        ASSERT_TRUE(end.end());
        ASSERT_TRUE(program_.waitForExit(kStateLimit)) << "the program did not end";
        EXPECT_EQ(readRecordedFile(workingFile).data, kSent);
        EXPECT_EQ(program_.valueNames(kClaimsSection), std::vector<std::string>{workingFile});
    }
    UiDialog question = restartAndFindQuestion();
    ASSERT_TRUE(question);
    ASSERT_TRUE(closeDialog(question, IDYES));
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
}

// People record two ports with two copies started together: only one of them offers a file
// left behind, and once it took the file over the other never offers it.
TEST_F(RecordingSafety, TwoCopiesNeverOfferTheSameRecording) {
    std::string workingFile;
    ASSERT_NO_FATAL_FAILURE(recordAndKill(workingFile));
    UiDialog question = restartAndFindQuestion();
    ASSERT_TRUE(question);

    UiProgram second(UiProgram::SameCopyAs{program_});
    ASSERT_TRUE(started(second));
    EXPECT_FALSE(second.dialog("Veltrane", 3s)) << "the second copy offers the same file";
    ASSERT_TRUE(closeDialog(question, IDYES));
    EXPECT_FALSE(second.dialog("Veltrane", 1s));

    // A third start finds the file claimed by the first copy, which runs.
    ASSERT_TRUE(second.close(kStateLimit));
    ASSERT_TRUE(started(second));
    EXPECT_FALSE(second.dialog("Veltrane", 3s)) << "the file the first copy took is offered";
    ASSERT_TRUE(second.close(kStateLimit));
    EXPECT_EQ(readRecordedFile(workingFile).data, kSent);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
}

// A temporary folder whose name takes two bytes a character in the system's code page (a
// Japanese user name): the note names a path longer in bytes than in characters. Runs only
// where the code page is such (its own CTest entry sets a Japanese locale).
TEST(RecordingSafetyNonAscii, ARecordingInAJapaneseTemporaryFolderIsOffered) {
    CPINFO codePage{};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &codePage));
    if (codePage.MaxCharSize < 2) GTEST_SKIP() << "code page " << GetACP() << " is single-byte";
    UiProgram program;
    const wchar_t kRecordings[] = L"\u9332\u97f3";  // "recordings"
    char name[16] = {};
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, kRecordings, -1, name, sizeof name, nullptr, nullptr),
              3);
    const std::string folder = program.folder() + "\\" + name;
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    program.setEnvironment("TMP", folder);
    program.setEnvironment("TEMP", folder);

    ASSERT_TRUE(started(program));
    ASSERT_TRUE(program.kill());
    const std::vector<FileEntry> files = filesIn(folder);
    ASSERT_EQ(files.size(), 1u) << "the working file is not in " << folder;
    ASSERT_TRUE(writeSerialFile(files[0].path, {{5, "kept"}}));

    ASSERT_TRUE(started(program));
    UiDialog question = program.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(question) << "the recording in " << folder << " was not offered";
    ASSERT_TRUE(closeDialog(question, IDYES));
    EXPECT_EQ(transportControlsOf(program), kStoppedWithFile);
    EXPECT_TRUE(program.kill());
    for (const FileEntry& file : filesIn(folder)) DeleteFileA(file.path.c_str());
    RemoveDirectoryA(folder.c_str());
}
