#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#include "engine/WriteFailure.h"
#include "workers/Workers.h"
#include "workers/tests/WorkerTestSupport.h"

namespace {

class RecordingWorkerTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        if (HasFatalFailure()) return;
        job_.filePath = dir_.file("working.ser");
    }
    void startRecording() {
        runNumber_ = runner_.start(recordingWorker, job_);
        ASSERT_NE(runNumber_, 0u);
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Started, milliseconds(5000)));
        ASSERT_TRUE(state_.recording.load());
    }
    void stopRecording() {
        state_.requestStop();
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)));
        runner_.stopAndWait();
    }
    std::uint32_t runNumber_ = 0;
};

// Where Wine shows the host's files: drive Z:.
std::string onDriveZ(std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return "Z:" + path;
}

// A file that refuses every write for want of space: one on the full disk that the test wrapper
// mounts (VELTRANE_FULL_DISK), else the host's always-full device. The Windows build reaches
// both through drive Z:, where the C library writes to a device unbuffered.
std::string fullDevice() {
    std::vector<std::string> candidates;
    if (const char* disk = std::getenv("VELTRANE_FULL_DISK")) {
        candidates = {std::string(disk) + "/recording.ser", onDriveZ(disk) + "\\recording.ser"};
    }
    candidates.insert(candidates.end(), {"/dev/full", "Z:\\dev\\full"});
    for (const std::string& path : candidates) {
        if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fclose(file);
            return path;
        }
    }
    return {};
}

// Requests a stop when the worker traces its first chunk, which it does once the chunk is in the
// file's buffer and before it looks at the periodic flush.
class StopAtFirstChunk : public TraceSink {
public:
    explicit StopAtFirstChunk(SharedState& state) : state_(state) {}
    void write(const char* text) override {
        if (std::strncmp(text, "off=", 4) == 0) state_.requestStop();
    }

private:
    SharedState& state_;
};

}  // namespace

TEST_F(RecordingWorkerTest, BurstTwoSecondsInBecomesOneChunkAtOffsetTwenty) {
    startRecording();
    std::this_thread::sleep_until(listener_.timeOf(WorkerEvent::Started) + milliseconds(2000));
    ASSERT_TRUE(sendFromDevice({0x41, 0x42, 0x43}));
    std::this_thread::sleep_for(milliseconds(400));
    EXPECT_GE(state_.currentPosition.load(), 20u);
    EXPECT_GT(state_.activityLevel.load(), 0);
    stopRecording();

    auto bytes = readWholeFile(job_.filePath);
    ASSERT_EQ(bytes.size(), 11u);
    std::uint32_t offset =
        bytes[2] | bytes[3] << 8 | bytes[4] << 16 | std::uint32_t{bytes[5]} << 24;
    EXPECT_NEAR(offset, 20, 1);
    const std::vector<std::uint8_t> expected = {0x53, 0x01, bytes[2], 0,    0,   0,
                                                3,    0x41, 0x42,     0x43, 0x0A};
    EXPECT_EQ(bytes, expected);

    std::string chunkLine = "off=" + std::to_string(offset) + ": sz=3\r\n";
    EXPECT_NE(sink_.joined().find(chunkLine + " {41,42,43}"), std::string::npos) << sink_.joined();
    EXPECT_EQ(logText(), "Starting recording\r\n" + chunkLine.substr(0, chunkLine.size() - 2) +
                             "\r\r\n\r\nRecording was stopped\r\nRecording finished\r\n");
    EXPECT_EQ(listener_.codes(),
              (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    EXPECT_FALSE(state_.recording.load());
    EXPECT_EQ(state_.currentPosition.load(), 0u);
}

TEST_F(RecordingWorkerTest, LongBurstIsSplitIntoChunksWithoutLosingAByte) {
    startRecording();
    std::vector<std::uint8_t> burst(600);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(sendFromDevice(burst));
    std::this_thread::sleep_for(milliseconds(600));
    stopRecording();

    auto chunks = readSerialFile(job_.filePath);
    ASSERT_GE(chunks.size(), 3u);
    std::vector<std::uint8_t> recorded;
    std::uint32_t previousOffset = 0;
    for (const auto& chunk : chunks) {
        EXPECT_GT(chunk.length, 0);
        EXPECT_GE(chunk.timeOffset, previousOffset);
        previousOffset = chunk.timeOffset;
        recorded.insert(recorded.end(), chunk.data, chunk.data + chunk.length);
    }
    EXPECT_EQ(recorded, burst);
}

TEST_F(RecordingWorkerTest, NothingReceivedGivesAnEmptyFileAndBothStopLines) {
    startRecording();
    std::this_thread::sleep_for(milliseconds(300));
    stopRecording();
    EXPECT_TRUE(readWholeFile(job_.filePath).empty());
    EXPECT_EQ(logText(), "Starting recording\r\nRecording was stopped\r\nRecording finished\r\n");
}

TEST_F(RecordingWorkerTest, StopWhileIdleEndsWithinAReadTimeout) {
    startRecording();
    std::this_thread::sleep_for(milliseconds(250));
    auto stopAt = TestClock::now();
    state_.requestStop();
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)));
    EXPECT_LT(msBetween(stopAt, listener_.timeOf(WorkerEvent::Ended)), 400);
}

TEST_F(RecordingWorkerTest, DeviceGoingAwayEndsTheRecordingAndKeepsItsChunks) {
    startRecording();
    ASSERT_TRUE(sendFromDevice({1, 2, 3, 4}));
    std::this_thread::sleep_for(milliseconds(300));
    device_.close();
    if (!pair_.stop()) {
        GTEST_SKIP() << "the far end cannot be ended from here: under Wine only the test "
                        "wrapper can end the pair";
    }
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)));
    runner_.stopAndWait();

    auto chunks = readSerialFile(job_.filePath);
    std::vector<std::uint8_t> recorded;
    for (const auto& chunk : chunks)
        recorded.insert(recorded.end(), chunk.data, chunk.data + chunk.length);
    EXPECT_EQ(recorded, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    std::string log = logText();
    EXPECT_NE(log.find("Recording finished\r\n"), std::string::npos);
    EXPECT_EQ(log.find("Recording was stopped"), std::string::npos);
    // For the window: the port by its name, and the system's reason.
    const Failure failure = state_.failureOf(runNumber_);
    EXPECT_EQ(failure.kind, Failure::Kind::PortLost);
    EXPECT_EQ(failure.subject, job_.device.port);
    EXPECT_FALSE(failure.reason().empty());
}

// Bytes go to the system while the recording runs, so a killed program leaves them on disk.
TEST_F(RecordingWorkerTest, ChunksReachTheFileWhileTheRecordingRuns) {
    startRecording();
    ASSERT_TRUE(sendFromDevice({0x41, 0x42, 0x43}));
    const auto sent = TestClock::now();
    while (readWholeFile(job_.filePath).size() < 11 && msBetween(sent, TestClock::now()) < 5000)
        std::this_thread::sleep_for(milliseconds(20));
    EXPECT_EQ(readWholeFile(job_.filePath).size(), 11u);
    EXPECT_TRUE(state_.recording.load());
    stopRecording();
}

TEST_F(RecordingWorkerTest, FullDiskEndsTheRecordingWithTheReason) {
    job_.filePath = fullDevice();
    if (job_.filePath.empty()) GTEST_SKIP() << "no device that is always full";
    startRecording();
    ASSERT_TRUE(sendFromDevice({1, 2, 3}));
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)))
        << "the recording went on writing to a full disk";
    runner_.stopAndWait();

    const Failure reported = state_.failureOf(runNumber_);
    EXPECT_EQ(reported.kind, Failure::Kind::WriteOutput);
    EXPECT_EQ(reported.subject, job_.filePath);
    EXPECT_EQ(reported.error, diskFullFailure());
    EXPECT_EQ(state_.failureOf(runNumber_ + 1).kind, Failure::Kind::None);
    EXPECT_FALSE(state_.recording.load());
    const std::string log = logText();
    const std::string failure = "Error writing file to record to: " + job_.filePath + ": " +
                                systemErrorText(diskFullFailure()) + "\r\nRecording finished\r\n";
    EXPECT_NE(log.find(failure), std::string::npos) << log;
    EXPECT_EQ(log.find("Recording was stopped"), std::string::npos) << log;
}

// The chunk stays in the file's buffer when the stop comes right after it (no periodic flush then):
// the full disk shows only when the file is closed, and is reported all the same.
TEST_F(RecordingWorkerTest, FullDiskShowingOnlyAtTheCloseIsReported) {
    job_.filePath = fullDevice();
    if (job_.filePath.empty()) GTEST_SKIP() << "no device that is always full";
    if (job_.filePath == "Z:\\dev\\full")
        GTEST_SKIP() << "writes to a device are not buffered here";
    StopAtFirstChunk stopper(state_);
    DebugTrace trace(stopper);
    WorkerRunner runner(state_, trace);
    runNumber_ = runner.start(recordingWorker, job_);
    ASSERT_NE(runNumber_, 0u);
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Started, milliseconds(5000)));
    ASSERT_TRUE(sendFromDevice({1, 2, 3}));
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)));
    runner.stopAndWait();

    const Failure failure = state_.failureOf(runNumber_);
    EXPECT_EQ(failure.kind, Failure::Kind::WriteOutput);
    EXPECT_EQ(failure.error, diskFullFailure());
    const std::string log = logText();
    EXPECT_TRUE(
        log.ends_with("Recording was stopped\r\nRecording finished\r\n"
                      "Error writing file to record to: " +
                      job_.filePath + ": " + systemErrorText(diskFullFailure()) + "\r\n"))
        << log;
}

TEST_F(RecordingWorkerTest, PortThatCannotBeOpenedIsLoggedAndChangesNothing) {
    job_.device.port = pair_.portName() + "-missing";
    state_.currentPosition.store(17);
    recordingWorker(&state_, job_, trace_);
    std::string log = logText();
    EXPECT_EQ(log.rfind("Starting recording\r\nError opening serial port: ", 0), 0u) << log;
    EXPECT_GT(log.size(),
              std::string("Starting recording\r\nError opening serial port: ").size() + 2);
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_FALSE(state_.recording.load());
    EXPECT_EQ(state_.currentPosition.load(), 17u);
    EXPECT_FALSE(std::filesystem::exists(job_.filePath));
}

TEST_F(RecordingWorkerTest, FileThatCannotBeCreatedIsLoggedAndFreesThePort) {
    job_.filePath = dir_.file("no-such-folder/working.ser");
    recordingWorker(&state_, job_, trace_);
    EXPECT_EQ(logText(),
              "Starting recording\r\nError opening file to record to: " + job_.filePath + "\r\n");
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_FALSE(state_.recording.load());
    SerialPort again;
    EXPECT_TRUE(again.open(SerialPort::devicePath(pair_.portName()), 115200, 8, Parity::None,
                           StopBits::One))
        << again.errorText();
}

TEST_F(RecordingWorkerTest, StopPressedWhileOpeningIsNotLost) {
    state_.requestStop();  // before the worker sets its running flag
    recordingWorker(&state_, job_, trace_);
    EXPECT_FALSE(state_.recording.load());
    EXPECT_EQ(listener_.codes(), (std::vector<WorkerEvent>{WorkerEvent::Ended}));
    EXPECT_EQ(logText(), "Starting recording\r\nRecording was stopped\r\nRecording finished\r\n");
    EXPECT_TRUE(readWholeFile(job_.filePath).empty());
}

TEST(WorkerEntries, ReturnAtOnceWithoutState) {
    TempDir dir;
    WorkerJob job;
    job.filePath = dir.file("never.ser");
    job.log.loggingOn = true;
    job.log.logFile = dir.file("never.log");
    RecordingTraceSink sink;
    DebugTrace trace{sink};
    recordingWorker(nullptr, job, trace);
    playbackWorker(nullptr, job, trace);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    EXPECT_TRUE(sink.lines().empty());
}

// With reconnect, a port that goes away and comes back leaves a gap without chunks in the same
// file, and the log tells it.
TEST_F(RecordingWorkerTest, WithReconnectThePortComingBackContinuesTheSameFile) {
    job_.reconnect = true;
    startRecording();
    const auto eventually = [](auto condition) {
        for (int i = 0; i < 1000 && !condition(); ++i)
            std::this_thread::sleep_for(milliseconds(10));
        return condition();
    };
    ASSERT_TRUE(sendFromDevice({1, 2, 3}));
    ASSERT_TRUE(eventually([&] { return state_.bytesMoved.load() == 3; }));
    device_.close();
    ASSERT_TRUE(pair_.takeAway());
    ASSERT_TRUE(eventually([&] { return logText().find(" went away") != std::string::npos; }));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_TRUE(state_.recording.load());
    std::string why;
    ASSERT_TRUE(pair_.bringBack(&why)) << why;
    ASSERT_TRUE(device_.open(SerialPort::devicePath(pair_.devicePortName()), 115200, 8,
                             Parity::None, StopBits::One));
    ASSERT_TRUE(sendFromDevice({4, 5}));
    ASSERT_TRUE(eventually([&] { return state_.bytesMoved.load() == 5; }));
    stopRecording();

    const auto chunks = readSerialFile(job_.filePath);
    std::vector<std::uint8_t> recorded;
    for (const auto& chunk : chunks)
        recorded.insert(recorded.end(), chunk.data, chunk.data + chunk.length);
    EXPECT_EQ(recorded, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
    ASSERT_GE(chunks.size(), 2u);
    EXPECT_GE(chunks.back().timeOffset, chunks.front().timeOffset + 3) << "the time away";
    const std::string log = logText();
    const std::size_t away = log.find(pair_.portName() + " went away");
    const std::size_t back = log.find(pair_.portName() + " is back after");
    ASSERT_NE(back, std::string::npos) << log;
    EXPECT_LT(away, back);
    EXPECT_NE(log.find("Recording was stopped", back), std::string::npos);
    EXPECT_EQ(state_.failureOf(runNumber_).kind, Failure::Kind::None);
}
