// Recording from the device, playing the recording back to it, New, the menu's enabling rules in
// each transport state, and closing while a recording runs.
#include <algorithm>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

long tenthsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count() / 100);
}

// The program on the pair's port, and the device on the other side.
class Transport : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(device_.open());
        usePort(program_, device_);
        temporaryBefore_ = temporaryFiles();
        ASSERT_TRUE(started(program_));
    }

    // Starts a recording with the Record button and waits until the window shows it.
    ::testing::AssertionResult startRecording() {
        if (!program_.click(IDC_RECORD_BUTTON)) {
            return ::testing::AssertionFailure() << "Record could not be clicked";
        }
        auto shown = statusBecomes(program_, "Recording");
        if (shown) recordingShown_ = Clock::now();
        return shown;
    }

    // Stops with the Stop button; waits until the window is Stopped and shows the length.
    ::testing::AssertionResult stopRecording() {
        if (!program_.click(IDC_STOP_BUTTON)) {
            return ::testing::AssertionFailure() << "Stop could not be clicked";
        }
        if (auto stopped = statusBecomes(program_, "Stopped"); !stopped) return stopped;
        if (waitUntil(
                [&] {
                    long length = program_.sliderMax();
                    return length > 0 && program_.text(IDC_TIME_DISPLAY) ==
                                             timeText(static_cast<unsigned long>(length));
                },
                kStateLimit)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "after Stop the slider's range ends at " << program_.sliderMax()
               << " and the time display shows \"" << program_.text(IDC_TIME_DISPLAY) << "\"";
    }

    // Records the bursts, each sent at its time (ms after the recording showed), then stops.
    ::testing::AssertionResult record(
        const std::vector<std::pair<std::chrono::milliseconds, std::string>>& bursts) {
        if (auto recording = startRecording(); !recording) return recording;
        for (const auto& [at, bytes] : bursts) {
            std::this_thread::sleep_until(recordingShown_ + at);
            if (!device_.send(bytes)) {
                return ::testing::AssertionFailure() << "the device failed to send";
            }
        }
        std::this_thread::sleep_for(400ms);
        return stopRecording();
    }

    // The working file: the one new temporary file holding data.
    ::testing::AssertionResult findWorkingFile(std::string& path) {
        std::vector<std::string> found = newFilesWithData(temporaryBefore_);
        if (found.size() == 1) {
            path = found[0];
            return ::testing::AssertionSuccess();
        }
        ::testing::AssertionResult failure = ::testing::AssertionFailure();
        failure << found.size() << " new *.tmp files with data in " << temporaryFolder() << ":";
        for (const std::string& file : found) failure << " " << file;
        return failure;
    }

    TestDevice device_;
    UiProgram program_;
    std::set<std::string> temporaryBefore_;
    Clock::time_point recordingShown_;
};

TEST_F(Transport, RecordingCountsUpAndStopShowsTheLengthOfWhatTheDeviceSent) {
    ASSERT_EQ(transportControlsOf(program_), kStoppedWithoutFile);
    ASSERT_TRUE(startRecording());
    EXPECT_EQ(transportControlsOf(program_), kRecordingControls);
    long firstShown = parseTimeText(program_.text(IDC_TIME_DISPLAY));
    EXPECT_GE(firstShown, 0) << program_.text(IDC_TIME_DISPLAY);

    const std::string bursts[] = {"first burst\r\n", "the second, a little longer\r\n",
                                  "binary " + std::string("\x00\x01\xFE\xFF", 4) + " end"};
    std::this_thread::sleep_until(recordingShown_ + 300ms);
    ASSERT_TRUE(device_.send(bursts[0]));
    std::this_thread::sleep_until(recordingShown_ + 1500ms);
    ASSERT_TRUE(device_.send(bursts[1]));
    std::this_thread::sleep_until(recordingShown_ + 2000ms);

    // The time display counts up in tenths; the slider stays where it is.
    long laterShown = parseTimeText(program_.text(IDC_TIME_DISPLAY));
    long elapsed = tenthsSince(recordingShown_);
    EXPECT_GE(laterShown, firstShown + 10) << "after " << elapsed << " tenths of recording";
    EXPECT_LE(laterShown, elapsed + 15) << "after " << elapsed << " tenths of recording";
    EXPECT_EQ(program_.sliderPosition(), 0);

    std::this_thread::sleep_until(recordingShown_ + 2600ms);
    ASSERT_TRUE(device_.send(bursts[2]));
    long lastSentAt = tenthsSince(recordingShown_);
    std::this_thread::sleep_for(400ms);

    ASSERT_TRUE(stopRecording());
    long length = program_.sliderMax();
    EXPECT_GE(length, lastSentAt - 2);
    EXPECT_LE(length, lastSentAt + 15);
    EXPECT_EQ(program_.sliderPosition(), 0);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);

    // The working file holds every byte the device sent, in chunks stamped in order, the last
    // one at the length shown.
    std::string workingFile;
    ASSERT_TRUE(findWorkingFile(workingFile));
    RecordedFile recorded = readRecordedFile(workingFile);
    EXPECT_EQ(recorded.data, bursts[0] + bursts[1] + bursts[2]);
    ASSERT_FALSE(recorded.offsets.empty());
    EXPECT_TRUE(std::is_sorted(recorded.offsets.begin(), recorded.offsets.end()));
    EXPECT_EQ(static_cast<long>(recorded.offsets.back()), length);
}

TEST_F(Transport, PlaybackMovesTheSliderPausesResumesAndStopKeepsThePlace) {
    const std::string bursts[] = {"one\r\n", "two\r\n", "three\r\n", "four, the last\r\n"};
    ASSERT_TRUE(record(
        {{200ms, bursts[0]}, {1500ms, bursts[1]}, {3000ms, bursts[2]}, {4500ms, bursts[3]}}));
    long length = program_.sliderMax();
    ASSERT_GE(length, 40) << "a recording of four and a half seconds";

    ASSERT_TRUE(program_.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Playing"));
    EXPECT_EQ(transportControlsOf(program_), kPlayingControls);
    EXPECT_TRUE(waitUntil([&] { return program_.sliderPosition() >= 5; }, 5s))
        << "the slider stands at " << program_.sliderPosition() << " while playing";
    EXPECT_GT(parseTimeText(program_.text(IDC_TIME_DISPLAY)), 0)
        << "the time display shows \"" << program_.text(IDC_TIME_DISPLAY) << "\"";

    // Pause holds the place and changes no button; a second Pause resumes.
    ASSERT_TRUE(program_.click(IDC_PAUSE_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Paused"));
    EXPECT_EQ(transportControlsOf(program_), kPlayingControls);
    std::this_thread::sleep_for(300ms);
    long pausedAt = program_.sliderPosition();
    std::this_thread::sleep_for(1000ms);
    EXPECT_LE(program_.sliderPosition(), pausedAt + 1) << "the slider moved while paused";
    ASSERT_TRUE(program_.click(IDC_PAUSE_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Playing"));
    EXPECT_TRUE(waitUntil([&] { return program_.sliderPosition() > pausedAt + 1; }, 5s))
        << "the slider stays at " << program_.sliderPosition() << " after resuming";

    // Stop keeps the slider where playing left it.
    ASSERT_TRUE(program_.click(IDC_STOP_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Stopped"));
    long stoppedAt = program_.sliderPosition();
    EXPECT_GT(stoppedAt, pausedAt);
    EXPECT_LT(stoppedAt, length) << "the playback ran to the end before Stop";
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(program_.sliderPosition(), stoppedAt);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);

    // What was played reached the device, in order, from the start of the recording.
    std::string played = device_.receive(bursts[0].size() + bursts[1].size(), 2s);
    EXPECT_EQ(played.substr(0, bursts[0].size()), bursts[0]);
    std::string all = bursts[0] + bursts[1] + bursts[2] + bursts[3];
    EXPECT_EQ(all.compare(0, played.size(), played), 0) << "played: " << played;

    // Fast forward goes to the end, Fast rewind to the start.
    ASSERT_TRUE(program_.click(IDC_FORWARD_BUTTON));
    EXPECT_EQ(program_.sliderPosition(), length);
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), timeText(static_cast<unsigned long>(length)));
    ASSERT_TRUE(program_.click(IDC_REWIND_BUTTON));
    EXPECT_EQ(program_.sliderPosition(), 0);
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:00.0");
}

TEST_F(Transport, PlayAfterFastForwardSendsOnlyTheLastChunk) {
    const std::string first = "early bytes\r\n";
    const std::string last = "the last bytes\r\n";
    ASSERT_TRUE(record({{200ms, first}, {1500ms, last}}));
    device_.receive(1000, 200ms);  // nothing is expected; clears the way

    ASSERT_TRUE(program_.click(IDC_FORWARD_BUTTON));
    ASSERT_EQ(program_.sliderPosition(), program_.sliderMax());
    ASSERT_TRUE(program_.click(IDC_PLAY_BUTTON));
    EXPECT_EQ(device_.receive(last.size(), 5s), last);
    // The playback then ends by itself.
    EXPECT_TRUE(waitUntil([&] { return program_.enabled(IDC_PLAY_BUTTON); }, kStateLimit))
        << "Play is still disabled";
    EXPECT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_EQ(device_.receive(1000, 300ms), "") << "more than the last chunk was played";
}

TEST_F(Transport, SliderScrollShowsThePositionThatPlayStartsFrom) {
    const std::string first = "before two seconds\r\n";
    const std::string second = "after two seconds\r\n";
    ASSERT_TRUE(record({{200ms, first}, {2500ms, second}}));
    device_.receive(1000, 200ms);

    ASSERT_TRUE(program_.enabled(IDC_POSITION_SLIDER));
    ASSERT_TRUE(program_.dragSlider(20));
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:02.0");

    ASSERT_TRUE(program_.click(IDC_PLAY_BUTTON));
    EXPECT_EQ(device_.receive(second.size(), 5s), second)
        << "playing from two seconds sends the second burst first";
}

TEST_F(Transport, NewClearsTheRecordingAndDeletesTheWorkingFile) {
    ASSERT_TRUE(record({{200ms, "something to forget\r\n"}}));
    std::string workingFile;
    ASSERT_TRUE(findWorkingFile(workingFile));
    ASSERT_TRUE(program_.click(IDC_FORWARD_BUTTON));

    ASSERT_TRUE(program_.command(ID_FILE_NEW));
    UiDialog question = program_.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(question) << "New did not ask about the unsaved recording";
    ASSERT_TRUE(closeDialog(question, IDNO));
    EXPECT_EQ(program_.text(IDC_TIME_DISPLAY), "00:00.0");
    EXPECT_EQ(program_.sliderPosition(), 0);
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithoutFile);
    EXPECT_EQ(menuDifferences(program_, {{ID_PLAY, kGrayed},
                                         {ID_SAVE_AS, kGrayed},
                                         {ID_EXPORT, kGrayed},
                                         {ID_FAST_FORWARD, kGrayed},
                                         {ID_FAST_REWIND, kGrayed},
                                         {ID_RECORD, kEnabled}}),
              "");
    EXPECT_FALSE(fileExists(workingFile)) << workingFile;
}

TEST_F(Transport, MenuFollowsTheTransportState) {
    // Stopped without a file.
    EXPECT_EQ(menuDifferences(program_, {{ID_FILE_NEW, kEnabled},
                                         {ID_FILE_OPEN, kEnabled},
                                         {ID_RECORD, kEnabled},
                                         {ID_SERIAL_DEVICE, kEnabled},
                                         {ID_LOGGING, kEnabled},
                                         {ID_IMPORT, kEnabled},
                                         {ID_SAVE_AS, kGrayed},
                                         {ID_PLAY, kGrayed},
                                         {ID_FAST_FORWARD, kGrayed},
                                         {ID_FAST_REWIND, kGrayed},
                                         {ID_EXPORT, kGrayed},
                                         {ID_PAUSE, kGrayed},
                                         {ID_STOP, kGrayed},
                                         {ID_ALWAYS_ON_TOP, kEnabled},
                                         {ID_HELP_CONTENTS, kEnabled},
                                         {ID_WEBSITE, kEnabled},
                                         {ID_APP_ABOUT, kEnabled},
                                         {ID_APP_EXIT, kEnabled},
                                         {ID_NO_RECENT_FILES, kGrayed},
                                         {ID_TRAY_HIDE_SHOW, kAbsent},
                                         {12345, kAbsent}}),
              "");
    // A disabled command from the menu or a key is dropped: Play without a file does nothing.
    ASSERT_TRUE(program_.command(ID_PLAY));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "OK");

    // Always on top carries a check mark while the window is topmost.
    ASSERT_TRUE(program_.command(ID_ALWAYS_ON_TOP));
    EXPECT_TRUE(program_.topmost());
    EXPECT_EQ(program_.menuItemState(ID_ALWAYS_ON_TOP), kEnabledChecked);
    ASSERT_TRUE(program_.command(ID_ALWAYS_ON_TOP));
    EXPECT_FALSE(program_.topmost());
    EXPECT_EQ(program_.menuItemState(ID_ALWAYS_ON_TOP), kEnabled);

    // Recording, started from the menu.
    ASSERT_TRUE(program_.command(ID_RECORD));
    ASSERT_TRUE(statusBecomes(program_, "Recording"));
    EXPECT_EQ(menuDifferences(program_, {{ID_FILE_NEW, kGrayed},
                                         {ID_FILE_OPEN, kGrayed},
                                         {ID_RECORD, kGrayed},
                                         {ID_SERIAL_DEVICE, kGrayed},
                                         {ID_LOGGING, kGrayed},
                                         {ID_IMPORT, kGrayed},
                                         {ID_SAVE_AS, kGrayed},
                                         {ID_PLAY, kGrayed},
                                         {ID_FAST_FORWARD, kGrayed},
                                         {ID_FAST_REWIND, kGrayed},
                                         {ID_EXPORT, kGrayed},
                                         {ID_PAUSE, kGrayed},
                                         {ID_STOP, kEnabled},
                                         {ID_ALWAYS_ON_TOP, kEnabled},
                                         {ID_APP_EXIT, kEnabled}}),
              "");
    // Record again (Ctrl+R) is dropped: no question, the recording goes on.
    ASSERT_TRUE(program_.command(ID_RECORD));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), "Recording");
    ASSERT_TRUE(device_.send("some bytes\r\n"));
    std::this_thread::sleep_for(700ms);

    // Stopped with a file.
    ASSERT_TRUE(program_.command(ID_STOP));
    ASSERT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_TRUE(waitUntil([&] { return program_.menuItemState(ID_PLAY) == kEnabled; }, 5s));
    EXPECT_EQ(menuDifferences(program_, {{ID_FILE_NEW, kEnabled},
                                         {ID_FILE_OPEN, kEnabled},
                                         {ID_RECORD, kEnabled},
                                         {ID_SERIAL_DEVICE, kEnabled},
                                         {ID_LOGGING, kEnabled},
                                         {ID_IMPORT, kEnabled},
                                         {ID_SAVE_AS, kEnabled},
                                         {ID_PLAY, kEnabled},
                                         {ID_FAST_FORWARD, kEnabled},
                                         {ID_FAST_REWIND, kEnabled},
                                         {ID_EXPORT, kEnabled},
                                         {ID_PAUSE, kGrayed},
                                         {ID_STOP, kGrayed}}),
              "");

    // Playing, then paused: only Pause and Stop among the transport commands.
    ASSERT_TRUE(program_.command(ID_PLAY));
    ASSERT_TRUE(statusBecomes(program_, "Playing"));
    const std::initializer_list<std::pair<int, LRESULT>> whilePlaying = {
        {ID_FILE_NEW, kGrayed},      {ID_FILE_OPEN, kGrayed}, {ID_RECORD, kGrayed},
        {ID_SERIAL_DEVICE, kGrayed}, {ID_LOGGING, kGrayed},   {ID_IMPORT, kGrayed},
        {ID_SAVE_AS, kGrayed},       {ID_PLAY, kGrayed},      {ID_FAST_FORWARD, kGrayed},
        {ID_FAST_REWIND, kGrayed},   {ID_EXPORT, kGrayed},    {ID_PAUSE, kEnabled},
        {ID_STOP, kEnabled}};
    EXPECT_EQ(menuDifferences(program_, whilePlaying), "");
    ASSERT_TRUE(program_.command(ID_PAUSE));
    ASSERT_TRUE(statusBecomes(program_, "Paused"));
    EXPECT_EQ(menuDifferences(program_, whilePlaying), "");
    ASSERT_TRUE(program_.command(ID_STOP));
    EXPECT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_EQ(menuDifferences(program_, {{ID_PLAY, kEnabled}, {ID_PAUSE, kGrayed}}), "");
}

TEST_F(Transport, ClosingDuringARecordingEndsCleanlyAndDeletesTheWorkingFile) {
    ASSERT_TRUE(startRecording());
    ASSERT_TRUE(device_.send("recorded, then closed\r\n"));
    std::this_thread::sleep_for(700ms);
    // The working file is among the temporary files made since the start; it may still be
    // empty while the recording holds its bytes in a buffer.
    std::vector<std::string> madeSinceStart = newFiles(temporaryBefore_);
    EXPECT_FALSE(madeSinceStart.empty()) << "no new *.tmp file in " << temporaryFolder();
    RECT shown = program_.rect();

    DWORD exitCode = 1;
    ASSERT_TRUE(program_.post(program_.window(), WM_CLOSE, 0, 0));
    UiDialog question = program_.dialog("Veltrane", kDialogLimit);
    ASSERT_TRUE(question) << "closing did not ask about the unsaved recording";
    question.click(IDNO);  // the program ends: only its end tells that the click arrived
    ASSERT_TRUE(program_.waitForExit(10s, &exitCode)) << "still running 10 s after No";
    EXPECT_EQ(exitCode, 0u);
    DWORD windowState = 9;
    std::vector<std::uint8_t> position;
    EXPECT_TRUE(program_.readDword("Window", "WindowState", windowState));
    EXPECT_EQ(windowState, 0u);
    EXPECT_TRUE(program_.readBinary("Window", "Position", position));
    EXPECT_EQ(position, positionValue(shown.left, shown.top, shown.right - shown.left,
                                      shown.bottom - shown.top));
    for (const std::string& file : madeSinceStart) EXPECT_FALSE(fileExists(file)) << file;
    EXPECT_EQ(newFilesWithData(temporaryBefore_), std::vector<std::string>{});
}

}  // namespace

// The data view shows each burst as it is recorded, the newest selected, and during playback
// selects the row being played.
TEST_F(Transport, DataViewFollowsRecordingAndPlayback) {
    ASSERT_TRUE(program_.command(ID_VIEW_DATA));
    ASSERT_TRUE(program_.settle());
    ASSERT_TRUE(startRecording());
    std::this_thread::sleep_until(recordingShown_ + 300ms);
    ASSERT_TRUE(device_.send("first\r\n"));
    auto newestSelected = [&](int rows) {
        return program_.listRows(IDC_DATA_VIEW) == rows &&
               program_.listSelection(IDC_DATA_VIEW) == rows - 1;
    };
    EXPECT_TRUE(waitUntil([&] { return newestSelected(1); }, 2s))
        << program_.listRows(IDC_DATA_VIEW) << " rows, row "
        << program_.listSelection(IDC_DATA_VIEW) << " selected";
    std::this_thread::sleep_until(recordingShown_ + 2500ms);
    ASSERT_TRUE(device_.send("second\r\n"));
    EXPECT_TRUE(waitUntil([&] { return newestSelected(2); }, 2s))
        << program_.listRows(IDC_DATA_VIEW) << " rows, row "
        << program_.listSelection(IDC_DATA_VIEW) << " selected";
    EXPECT_EQ(program_.listText(IDC_DATA_VIEW, 1, 4), "second..");
    std::this_thread::sleep_for(400ms);
    ASSERT_TRUE(stopRecording());

    ASSERT_TRUE(program_.click(IDC_PLAY_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Playing"));
    EXPECT_TRUE(waitUntil([&] { return program_.listSelection(IDC_DATA_VIEW) == 0; }, 2s))
        << "row " << program_.listSelection(IDC_DATA_VIEW) << " selected";
    EXPECT_TRUE(waitUntil([&] { return program_.listSelection(IDC_DATA_VIEW) == 1; }, 5s))
        << "row " << program_.listSelection(IDC_DATA_VIEW) << " selected";
}
