// Commands while a worker is still starting or ending: the window is busy, only Stop applies,
// a refused start says so, and an end report never reads a file that is no longer current.
#include <atomic>
#include <thread>

#include "app/tests/ui/UiTestSupport.h"

namespace {

const std::string kBusyText = "Busy, try again in a moment";

// The program's log, sent to a named pipe that takes one byte at a time, so that each line the
// worker writes waits until the test has read it. While the log is held the test reads nothing
// and the worker stands at its next line; its first line comes before it opens its port.
class HeldLog {
public:
    HeldLog()
        : path_("\\\\.\\pipe\\VeltraneBusy" + std::to_string(GetCurrentProcessId()) + "_" +
                std::to_string(++made_)),
          pipe_(CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                 0, 1, 0, nullptr)),
          reader_([this] { readWhileReleased(); }) {}
    ~HeldLog() {
        ending_ = true;
        reader_.join();
        if (pipe_ != INVALID_HANDLE_VALUE) CloseHandle(pipe_);
    }
    HeldLog(const HeldLog&) = delete;
    HeldLog& operator=(const HeldLog&) = delete;

    const std::string& path() const { return path_; }
    void hold() { released_ = false; }
    void release() { released_ = true; }
    bool lineWaits() const {
        DWORD waiting = 0;
        return PeekNamedPipe(pipe_, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0;
    }

private:
    void readWhileReleased() {
        char line[512];
        while (!ending_) {
            DWORD read = 0;
            if (!released_ || !lineWaits() || !ReadFile(pipe_, line, sizeof line, &read, nullptr)) {
                Sleep(5);
            }
        }
    }

    static inline int made_ = 0;
    std::string path_;
    HANDLE pipe_;
    std::atomic<bool> released_{false};
    std::atomic<bool> ending_{false};
    std::thread reader_;
};

// What the menu shows while a worker starts or ends.
const std::initializer_list<std::pair<int, LRESULT>> kWhileBusy = {
    {ID_FILE_NEW, kGrayed},     {ID_FILE_OPEN, kGrayed},     {ID_RECORD, kGrayed},
    {ID_PLAY, kGrayed},         {ID_SERIAL_DEVICE, kGrayed}, {ID_LOGGING, kGrayed},
    {ID_IMPORT, kGrayed},       {ID_SAVE_AS, kGrayed},       {ID_EXPORT, kGrayed},
    {ID_FAST_FORWARD, kGrayed}, {ID_PAUSE, kGrayed},         {ID_STOP, kEnabled}};

class BusyCommands : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(device_.open()); }
    // A held worker would keep the program from closing.
    void TearDown() override { log_.release(); }

    ::testing::AssertionResult startLoggingTo(const std::string& port) {
        program_.writeString("Device", "Port", port);
        program_.writeDword("Logging", "LoggingOn", 1);
        program_.writeDword("Logging", "AppendFile", 1);
        program_.writeString("Logging", "LogFile", log_.path());
        return started(program_);
    }

    ::testing::AssertionResult workerHeld() {
        if (waitUntil([&] { return log_.lineWaits(); }, kStateLimit)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the worker wrote no line to " << log_.path();
    }

    // Posts the commands one after the other, as keys pressed in quick succession, and waits
    // until the window has handled them.
    ::testing::AssertionResult pressAtOnce(std::initializer_list<int> commands, int times = 1) {
        for (int round = 0; round < times; ++round) {
            for (int id : commands) PostMessageA(program_.window(), WM_COMMAND, id, 0);
        }
        return ::testing::AssertionResult(program_.settle()) << "the window does not answer";
    }

    TestDevice device_;
    HeldLog log_;  // before the program, so that it goes once the program has ended
    UiProgram program_;
};

TEST_F(BusyCommands, WhileAWorkerOpensItsPortOnlyStopAppliesAndStartsAreRefusedAloud) {
    ASSERT_TRUE(startLoggingTo(device_.programPort()));
    ASSERT_TRUE(program_.command(ID_RECORD));
    ASSERT_TRUE(workerHeld());
    EXPECT_EQ(menuDifferences(program_, kWhileBusy), "");
    EXPECT_EQ(transportControlsOf(program_), kRecordingControls);  // Stop alone

    // Ctrl+R and Ctrl+P ask nothing and start nothing, but say why.
    for (int start : {ID_RECORD, ID_PLAY}) {
        ASSERT_TRUE(program_.post(program_.window(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0));
        ASSERT_TRUE(program_.command(start));
        EXPECT_EQ(program_.text(IDC_STATUS_LINE), kBusyText) << start;
    }
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});

    // Stopped while it opens its port, the worker ends without recording.
    ASSERT_TRUE(program_.click(IDC_STOP_BUTTON));
    log_.release();
    EXPECT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    EXPECT_EQ(menuDifferences(program_, {{ID_FILE_NEW, kEnabled}, {ID_STOP, kGrayed}}), "");
}

TEST_F(BusyCommands, AWorkerThatCannotOpenItsPortEndsUnannouncedAndTheWindowSeesIt) {
    ASSERT_TRUE(startLoggingTo("COM199"));
    ASSERT_TRUE(program_.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(workerHeld());
    EXPECT_EQ(program_.menuItemState(ID_FILE_NEW), kGrayed);
    log_.release();
    EXPECT_TRUE(
        waitUntil([&] { return transportControlsOf(program_) == kStoppedWithFile; }, kStateLimit))
        << ::testing::PrintToString(transportControlsOf(program_));
    EXPECT_EQ(program_.menuItemState(ID_RECORD), kEnabled);
    // The worker posts no end, yet the window tells the port's failure.
    std::string text;
    ASSERT_TRUE(dismissErrorBox(program_, text));
    EXPECT_NE(text.find("port COM199 could not be opened"), std::string::npos) << text;
}

TEST_F(BusyCommands, NewAndRecordRightAfterStopAreRefusedUntilTheRecordingHasEnded) {
    ASSERT_TRUE(startLoggingTo(device_.programPort()));
    log_.release();
    ASSERT_TRUE(program_.click(IDC_RECORD_BUTTON));
    ASSERT_TRUE(statusBecomes(program_, "Recording"));
    ASSERT_TRUE(device_.send("recorded\r\n"));
    std::this_thread::sleep_for(300ms);
    // The worker stands at the log line of its next chunk: it cannot end between the commands.
    log_.hold();
    ASSERT_TRUE(device_.send("held"));
    ASSERT_TRUE(workerHeld());

    ASSERT_TRUE(pressAtOnce({ID_STOP, ID_FILE_NEW, ID_RECORD}));
    EXPECT_EQ(program_.text(IDC_STATUS_LINE), kBusyText);
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});

    // The recording ends as stopped and stays the current file, showing its length.
    log_.release();
    EXPECT_TRUE(statusBecomes(program_, "Stopped"));
    EXPECT_TRUE(waitUntil([&] { return program_.sliderMax() > 0; }, kStateLimit));
    EXPECT_EQ(transportControlsOf(program_), kStoppedWithFile);
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
}

TEST_F(BusyCommands, NewRecordStopFiftyTimesInQuickSuccessionEndsWithoutAnErrorBox) {
    usePort(program_, device_);
    ASSERT_TRUE(started(program_));
    // Whether the last refusal's text still shows depends on when the last worker ended (its
    // state word replaces it); that refusals are told is shown by the tests above.
    ASSERT_TRUE(pressAtOnce({ID_FILE_NEW, ID_RECORD, ID_STOP}, 50));
    // A New refused while busy keeps the file, so a later Record may rightly ask: No.
    while (UiDialog question = program_.dialog("Veltrane", 2s)) {
        ASSERT_TRUE(closeDialog(question, IDNO));
    }
    EXPECT_TRUE(
        waitUntil([&] { return program_.menuItemState(ID_RECORD) == kEnabled; }, kStateLimit));
    // An end report that came late would have shown its box by now.
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(program_.settle());
    EXPECT_EQ(program_.shownBoxes(), std::vector<std::string>{});
}

}  // namespace
