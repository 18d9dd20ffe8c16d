// A port whose driver refuses the run's timeouts would leave the driver's own, with which a read
// or a write may block for good: the worker says so and ends before it starts. The port is the
// stand-in of RefusingSerialPort.cpp.
#include <filesystem>
#include <thread>

#include "workers/Workers.h"
#include "workers/tests/RefusingSerialPort.h"
#include "workers/tests/WorkerTestSupport.h"

namespace {

class RefusedTimeouts : public ::testing::Test {
protected:
    void SetUp() override {
        job_.device.port = "COM7";
        job_.log.loggingOn = true;
        job_.log.logFile = dir_.file("serial.log");
        job_.filePath = dir_.file("run.ser");
    }

    // Runs the worker and awaits its end; a worker still running after two seconds is stopped.
    ::testing::AssertionResult runsAndEndsByItself(WorkerRunner::Entry entry) {
        runNumber_ = runner_.start(entry, job_);
        const auto giveUp = TestClock::now() + milliseconds(2000);
        while (runner_.isRunning() && TestClock::now() < giveUp)
            std::this_thread::sleep_for(milliseconds(10));
        const bool ended = !runner_.isRunning();
        runner_.stopAndWait();
        if (!ended)
            return ::testing::AssertionFailure() << "the worker ran on with the driver's timeouts";
        return ::testing::AssertionSuccess();
    }

    std::string logText() const {
        const auto bytes = readWholeFile(job_.log.logFile);
        return {bytes.begin(), bytes.end()};
    }

    void expectReported() {
        const std::string reason = kRefusedTimeoutsText;
        EXPECT_NE(logText().find("\nError setting serial port timeouts: " + reason + "\r"),
                  std::string::npos)
            << logText();
        const Failure failure = state_.failureOf(runNumber_);
        EXPECT_EQ(failure.kind, Failure::Kind::PortTimeouts);
        EXPECT_EQ(failure.subject, "COM7");
        EXPECT_EQ(failure.reason(), reason);  // without the port text's line end
        EXPECT_TRUE(listener_.codes().empty()) << "the run began";
    }

    TempDir dir_;
    RecordingTraceSink sink_;
    DebugTrace trace_{sink_};
    WorkerJob job_;
    RecordingListener listener_;
    SharedState state_{listener_};
    WorkerRunner runner_{state_, trace_};
    std::uint32_t runNumber_ = 0;
};

}  // namespace

TEST_F(RefusedTimeouts, EndTheRecordingBeforeItStartsAndLeaveNoFile) {
    ASSERT_TRUE(runsAndEndsByItself(recordingWorker));
    expectReported();
    EXPECT_EQ(logText().rfind("Starting recording\r\n", 0), 0u);
    EXPECT_FALSE(state_.recording.load());
    EXPECT_FALSE(std::filesystem::exists(job_.filePath));
}

TEST_F(RefusedTimeouts, EndThePlaybackBeforeItStarts) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, {1, 2, 3}}, {300, {4}}}));
    ASSERT_TRUE(runsAndEndsByItself(playbackWorker));
    expectReported();
    EXPECT_EQ(logText().rfind("Starting playing of file " + job_.filePath + "\r\n", 0), 0u);
    EXPECT_FALSE(state_.playing.load());
}
