#include <gtest/gtest.h>

#include <thread>

#include "workers/Workers.h"
#include "workers/tests/WorkerTestSupport.h"

namespace {

class PlaybackWorkerTest : public WorkerTest {
protected:
    void SetUp() override {
        WorkerTest::SetUp();
        if (HasFatalFailure()) return;
        job_.filePath = dir_.file("play.ser");
    }
    void startPlaying(std::uint32_t position) {
        job_.startPosition = position;
        ASSERT_TRUE(runner_.start(playbackWorker, job_));
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Started, milliseconds(5000)));
    }
    void awaitEnd() {
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(10000)));
        runner_.stopAndWait();
    }
};

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace

TEST_F(PlaybackWorkerTest, StartPositionSkipsEarlierChunksAndKeepsTheirTiming) {
    ASSERT_TRUE(writeSerialFile(job_.filePath,
                                {{0, bytesOf("A")}, {40, bytesOf("B")}, {60, bytesOf("C")},
                                 {90, bytesOf("D")}}));
    startPlaying(50);
    const auto started = listener_.timeOf(WorkerEvent::Started);
    auto arrivals = receiveAtDevice(2, milliseconds(8000));
    awaitEnd();

    EXPECT_EQ(joined(arrivals), bytesOf("CD"));
    ASSERT_FALSE(arrivals.empty());
    EXPECT_NEAR(msBetween(started, arrivals.front().time), 1000, 300);
    EXPECT_NEAR(msBetween(started, arrivals.back().time), 4000, 300);
    EXPECT_EQ(state_.currentPosition.load(), 0u);  // played to the end
    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath +
                             "\r\n"
                             "Sending 1 bytes for time offset 60\r\r\n\r\n"
                             "Sending 1 bytes for time offset 90\r\r\n\r\n"
                             "Ended play\r\n");
    EXPECT_NE(sink_.joined().find(" - wating for 60\r\n"), std::string::npos);
}

TEST_F(PlaybackWorkerTest, StartPositionBeyondEveryChunkPlaysTheWholeFile) {
    ASSERT_TRUE(writeSerialFile(job_.filePath,
                                {{0, bytesOf("one")}, {1, bytesOf("two")}, {2, bytesOf("three")}}));
    startPlaying(500);
    auto arrivals = receiveAtDevice(11, milliseconds(3000));
    awaitEnd();
    EXPECT_EQ(joined(arrivals), bytesOf("onetwothree"));
    EXPECT_EQ(state_.currentPosition.load(), 0u);
    EXPECT_EQ(listener_.codes(), (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    EXPECT_EQ(state_.playing.load(), 0);
}

TEST_F(PlaybackWorkerTest, DeviceReceivesExactlyTheFileDataInOrder) {
    std::vector<ChunkSpec> chunks;
    std::vector<std::uint8_t> expected;
    for (std::uint32_t i = 0; i < 60; ++i) {
        std::vector<std::uint8_t> data(1 + (i * 37) % 255);
        for (std::size_t j = 0; j < data.size(); ++j)
            data[j] = static_cast<std::uint8_t>(i * 31 + j * 13);
        data[0] = (i % 2) ? 0x53 : 0x0A;  // markers and terminators inside data
        if (data.size() > 1) data[1] = 0x01;
        expected.insert(expected.end(), data.begin(), data.end());
        chunks.push_back({i / 10, data});
    }
    ASSERT_TRUE(writeSerialFile(job_.filePath, chunks));
    startPlaying(0);
    auto arrivals = receiveAtDevice(expected.size(), milliseconds(5000));
    awaitEnd();
    EXPECT_EQ(joined(arrivals), expected);
    EXPECT_EQ(state_.activityLevel.load(), 100);
}

TEST_F(PlaybackWorkerTest, StopDuringALongWaitKeepsThePlayTime) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("x")}, {300, bytesOf("y")}}));
    startPlaying(0);
    auto first = receiveAtDevice(1, milliseconds(2000));
    EXPECT_EQ(joined(first), bytesOf("x"));
    std::this_thread::sleep_until(listener_.timeOf(WorkerEvent::Started) + milliseconds(1600));
    auto stopAt = TestClock::now();
    state_.requestStop();
    awaitEnd();

    EXPECT_LT(msBetween(stopAt, listener_.timeOf(WorkerEvent::Ended)), 800);
    // The play time of the last comparison: they happen every 500 ms while waiting.
    EXPECT_GE(state_.currentPosition.load(), 10u);
    EXPECT_LE(state_.currentPosition.load(), 16u);
    EXPECT_EQ(listener_.codes(), (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    std::string log = logText();
    EXPECT_NE(log.find("Playing was stopped\r\nEnded play\r\n"), std::string::npos) << log;
    EXPECT_TRUE(joined(receiveAtDevice(1, milliseconds(200))).empty());
}

TEST_F(PlaybackWorkerTest, PauseDelaysTheWaitingChunkByThePause) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("a")}, {20, bytesOf("b")}}));
    startPlaying(0);
    const auto started = listener_.timeOf(WorkerEvent::Started);
    std::this_thread::sleep_until(started + milliseconds(700));
    state_.paused.store(1);
    std::this_thread::sleep_until(started + milliseconds(2700));
    EXPECT_LE(state_.currentPosition.load(), 9u);  // the clock stood still
    state_.paused.store(0);
    auto arrivals = receiveAtDevice(2, milliseconds(5000));
    awaitEnd();

    ASSERT_EQ(joined(arrivals), bytesOf("ab"));
    // Due at 2 s, paused for 2 s: sent about 4 s after the start.
    EXPECT_NEAR(msBetween(started, arrivals.back().time), 4000, 400);
}

TEST_F(PlaybackWorkerTest, PortThatCannotBeOpenedIsLoggedAndChangesNothing) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("x")}}));
    job_.device.port = pair_.portName() + "-missing";
    state_.currentPosition.store(5);
    EXPECT_EQ(playbackWorker(&state_, job_, trace_), 0);
    std::string log = logText();
    EXPECT_EQ(log.rfind("Starting playing of file " + job_.filePath +
                            "\r\nError opening serial port: ",
                        0),
              0u)
        << log;
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_EQ(state_.playing.load(), 0);
    EXPECT_EQ(state_.currentPosition.load(), 5u);
}

TEST_F(PlaybackWorkerTest, FileThatCannotBeOpenedIsLoggedAndChangesNothing) {
    job_.filePath = dir_.file("missing.ser");
    EXPECT_EQ(playbackWorker(&state_, job_, trace_), 0);
    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath +
                             "\r\nCouldt open playfile " + job_.filePath + "\r\n");
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_EQ(state_.playing.load(), 0);
}

TEST_F(PlaybackWorkerTest, StopPressedWhileOpeningIsNotLost) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("x")}}));
    state_.requestStop();
    EXPECT_EQ(playbackWorker(&state_, job_, trace_), 0);
    EXPECT_EQ(listener_.codes(), (std::vector<WorkerEvent>{WorkerEvent::Ended}));
    EXPECT_EQ(state_.playing.load(), 0);
    EXPECT_TRUE(joined(receiveAtDevice(1, milliseconds(300))).empty());
}
