// A recording never saved is not dropped without a word: New, Open, Record over it, closing and
// the end of the Windows session ask once whether to save it; Yes saves first, No drops it and
// Cancel keeps it. Opened and imported files ask nothing (the file command tests close them).
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

constexpr const char* kSaveQuestion =
    "The recording has not been saved.\r\nDo you want to save it first?";
const std::string kSent = "a recording worth keeping\r\n";

class UnsavedRecording : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.open());
        usePort(program_, device_);
        ASSERT_TRUE(started(program_));
        const std::vector<std::string> claims = program_.valueNames("Sessions");
        ASSERT_EQ(claims.size(), 1u);
        workingFile_ = claims[0];
    }

    ::testing::AssertionResult startRecording() {
        if (!program_.click(IDC_RECORD_BUTTON)) return ::testing::AssertionFailure() << "no Record";
        if (auto shown = statusBecomes(program_, "Recording"); !shown) return shown;
        if (!device_.send(kSent)) return ::testing::AssertionFailure() << "the device did not send";
        if (!waitUntil([&] { return readRecordedFile(workingFile_).data == kSent; }, kStateLimit)) {
            return ::testing::AssertionFailure() << "the recording did not reach the file";
        }
        return ::testing::AssertionSuccess();
    }

    ::testing::AssertionResult record() {
        if (auto recording = startRecording(); !recording) return recording;
        if (!program_.click(IDC_STOP_BUTTON)) return ::testing::AssertionFailure() << "no Stop";
        return statusBecomes(program_, "Stopped");
    }

    // Waits for the save question and answers it.
    ::testing::AssertionResult answerSaveQuestion(int button) {
        UiDialog question = program_.dialog("Veltrane", kDialogLimit);
        if (!question) return ::testing::AssertionFailure() << "no question was asked";
        if (question.text(0xFFFF) != kSaveQuestion) {
            return ::testing::AssertionFailure() << "asked \"" << question.text(0xFFFF) << "\"";
        }
        return closeDialog(question, button);
    }

    ::testing::AssertionResult noBoxShown() {
        std::this_thread::sleep_for(500ms);
        if (!program_.settle())
            return ::testing::AssertionFailure() << "the window does not answer";
        const std::vector<std::string> boxes = program_.shownBoxes();
        if (boxes.empty()) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "\"" << boxes[0] << "\" is shown";
    }

    // The answer to WM_QUERYENDSESSION, sent as the system sends it while the test answers.
    LRESULT queryEndSession(int button) {
        DWORD_PTR answer = 99;
        std::thread system([&] {
            SendMessageTimeoutA(program_.window(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF,
                                SMTO_NORMAL, 30000, &answer);
        });
        EXPECT_TRUE(answerSaveQuestion(button));
        system.join();
        return static_cast<LRESULT>(answer);
    }

    TestDevice device_;
    UiProgram program_;
    std::string workingFile_;
};

}  // namespace

TEST_F(UnsavedRecording, NewAsksOnceCancelKeepsTheRecordingAndNoDropsIt) {
    ASSERT_TRUE(record());
    const std::string length = program_.text(IDC_TIME_DISPLAY);

    ASSERT_TRUE(program_.command(ID_FILE_NEW));
    ASSERT_TRUE(answerSaveQuestion(IDCANCEL));
    EXPECT_TRUE(noBoxShown());
    EXPECT_EQ(readRecordedFile(workingFile_).data, kSent);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), length);

    ASSERT_TRUE(program_.command(ID_FILE_NEW));
    ASSERT_TRUE(answerSaveQuestion(IDNO));
    EXPECT_TRUE(noBoxShown());
    EXPECT_FALSE(fileExists(workingFile_));
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithoutFile);

    ASSERT_TRUE(program_.command(ID_FILE_NEW));  // nothing left to ask about
    EXPECT_TRUE(noBoxShown());
}

TEST_F(UnsavedRecording, YesSavesFirstAndACancelledSaveCancelsTheCommand) {
    ASSERT_TRUE(record());
    ASSERT_TRUE(program_.command(ID_FILE_OPEN));
    ASSERT_TRUE(answerSaveQuestion(IDYES));
    UiDialog saving = program_.fileDialog(kDialogLimit);
    ASSERT_TRUE(saving) << "Yes showed no Save as dialog";
    ASSERT_TRUE(closeDialog(saving, IDCANCEL));
    EXPECT_FALSE(program_.fileDialog(2s)) << "the Open went on after the Save as was cancelled";
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);

    const std::string saved = program_.folder() + "\\kept.ser";
    const std::string other = program_.folder() + "\\other.ser";
    ASSERT_TRUE(writeSerialFile(other, {{0, "x"}, {25, "y"}}));
    ASSERT_TRUE(program_.command(ID_FILE_OPEN));
    ASSERT_TRUE(answerSaveQuestion(IDYES));
    ASSERT_TRUE(chooseFile(program_, saved));
    ASSERT_TRUE(chooseFile(program_, other)) << "no Open dialog after the Save as";
    EXPECT_EQ(readRecordedFile(saved).data, kSent);
    EXPECT_TRUE(waitUntil([&] { return program_.text(IDC_TIME_DISPLAY) == "00:02.5"; }, 5s));

    // Saved, then replaced by an opened file: nothing to ask at the close.
    EXPECT_TRUE(program_.close(kStateLimit));
}

TEST_F(UnsavedRecording, RecordOverItAsksOnlyWhetherToSave) {
    ASSERT_TRUE(record());
    ASSERT_TRUE(program_.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(answerSaveQuestion(IDNO));
    EXPECT_TRUE(statusBecomes(program_, "Recording"));
    EXPECT_TRUE(noBoxShown()) << "a second question followed";
}

// Closing while a recording runs, and the session's end, which Cancel refuses.
TEST_F(UnsavedRecording, ClosingAndTheSessionsEndAskWhileItRecords) {
    ASSERT_TRUE(startRecording());
    ASSERT_TRUE(program_.post(program_.window(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(answerSaveQuestion(IDCANCEL));
    EXPECT_TRUE(program_.running());
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "Recording");

    EXPECT_EQ(queryEndSession(IDCANCEL), FALSE);
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "Recording");
    EXPECT_NE(queryEndSession(IDNO), FALSE);

    // The program ends on it, so the post is not followed by the driver's round trip.
    ASSERT_TRUE(PostMessageA(program_.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF));
    DWORD exitCode = 1;
    ASSERT_TRUE(program_.waitForExit(kStateLimit, &exitCode)) << "the session's end was refused";
    EXPECT_EQ(exitCode, 0u);
    EXPECT_FALSE(fileExists(workingFile_));
    EXPECT_TRUE(program_.valueNames("Sessions").empty()) << "the claim was left behind";
}

// Yes asks for the target first: a cancelled Save as leaves the recording running, and only a
// chosen name stops it, so that the copy holds every chunk.
TEST_F(UnsavedRecording, YesWhileItRecordsStopsOnlyOnceANameWasChosen) {
    ASSERT_TRUE(startRecording());
    ASSERT_TRUE(program_.post(program_.window(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(answerSaveQuestion(IDYES));
    UiDialog saving = program_.fileDialog(kDialogLimit);
    ASSERT_TRUE(saving) << "Yes showed no Save as dialog";
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "Recording") << "stopped before a name was chosen";
    ASSERT_TRUE(closeDialog(saving, IDCANCEL));
    EXPECT_TRUE(program_.running());
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "Recording") << "a cancelled Save as stopped it";
    EXPECT_EQ(transportControlsOf(program_), kRecordingControls);

    const std::string more = "sent while Save as was up\r\n";
    const std::string saved = program_.folder() + "\\kept.ser";
    ASSERT_TRUE(program_.post(program_.window(), WM_CLOSE, 0, 0));
    ASSERT_TRUE(answerSaveQuestion(IDYES));
    ASSERT_TRUE(program_.fileDialog(kDialogLimit));
    ASSERT_TRUE(device_.send(more));
    ASSERT_TRUE(waitUntil([&] { return readRecordedFile(workingFile_).data == kSent + more; },
                          kStateLimit));
    UiDialog naming = program_.fileDialog(kDialogLimit);
    ASSERT_TRUE(naming.typeFileName(saved));
    naming.click(IDOK);  // the close goes on: only the program's end tells that it arrived
    ASSERT_TRUE(program_.waitForExit(kStateLimit)) << "the close did not go on after saving";
    EXPECT_EQ(readRecordedFile(saved).data, kSent + more);
}

// The tray's Exit while a dialog of ours waits for an answer does not ask over it: the dialog
// comes first, and once it is closed the Exit asks as usual.
TEST_F(UnsavedRecording, TrayExitWaitsForADialogBeforeItAsks) {
    ASSERT_TRUE(record());
    UiDialog settings = openDialog(program_, ID_SERIAL_DEVICE, "Device Settings");
    ASSERT_TRUE(settings);
    ASSERT_TRUE(program_.post(program_.tray(), WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0));
    EXPECT_FALSE(program_.dialog("Veltrane", 2s)) << "the save question opened over the dialog";
    EXPECT_TRUE(settings.visible());
    EXPECT_TRUE(program_.running());

    ASSERT_TRUE(closeDialog(settings, IDCANCEL));
    ASSERT_TRUE(program_.post(program_.tray(), WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0));
    UiDialog question = program_.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(question) << "the Exit asked nothing once the dialog was closed";
    EXPECT_EQ(question.text(0xFFFF), kSaveQuestion);
    question.click(IDNO);  // the program ends on it: no round trip follows
    EXPECT_TRUE(program_.waitForExit(kStateLimit)) << "the Exit did not end the program";
}
