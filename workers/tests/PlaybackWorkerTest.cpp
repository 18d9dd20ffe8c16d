#include <gtest/gtest.h>
#include <sys/types.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <future>
#include <memory>
#include <thread>

#include "engine/BisectingChunkSeek.h"
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
        runNumber_ = runner_.start(playbackWorker, job_);
        ASSERT_NE(runNumber_, 0u);
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Started, milliseconds(5000)));
    }
    void awaitEnd() {
        ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(10000)));
        runner_.stopAndWait();
    }

    // Closing as the window does (stop and await the worker), timed. A close that has not
    // returned within `bound` fails; the device then reads, which frees the worker so that the
    // test can end. The time it took, or -1 when it did not end within the bound.
    long long timedClose(milliseconds bound) {
        const auto stopAt = TestClock::now();
        auto closing = std::async(std::launch::async, [this] {
            runner_.stopAndWait();
            return TestClock::now();
        });
        if (closing.wait_for(bound) != std::future_status::ready) {
            ADD_FAILURE() << "closing had not returned " << bound.count()
                          << " ms after the stop request";
            drainDevice();
            closing.wait();
            return -1;
        }
        return msBetween(stopAt, closing.get());
    }
    std::uint32_t runNumber_ = 0;
};

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// ---- For the tests of section "Stop and close never hang"

// Far more than a serial pair holds while nobody reads at the device (under Wine 32 KiB are
// taken, natively some hundreds): about 1 MB of chunks that are all due at once.
constexpr std::size_t kHeldUpChunks = 4000;

// Writes the recording and returns the bytes it plays, in order.
std::vector<std::uint8_t> writeHeldUpRecording(const std::string& path) {
    std::vector<ChunkSpec> chunks;
    std::vector<std::uint8_t> stream;
    for (std::size_t i = 0; i < kHeldUpChunks; ++i) {
        std::vector<std::uint8_t> data(kMaxChunkData);
        for (std::size_t j = 0; j < data.size(); ++j)
            data[j] = static_cast<std::uint8_t>(i * 7 + j * 13 + (i >> 8));
        stream.insert(stream.end(), data.begin(), data.end());
        chunks.push_back({0, std::move(data)});
    }
    return writeSerialFile(path, chunks) ? stream : std::vector<std::uint8_t>{};
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

bool isPrefixOf(const std::vector<std::uint8_t>& part, const std::vector<std::uint8_t>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

std::vector<std::uint8_t> chunkOnDisk(std::uint32_t timeOffset, const std::string& data) {
    std::vector<std::uint8_t> bytes{kChunkMarker0, kChunkMarker1};
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(timeOffset >> shift));
    bytes.push_back(static_cast<std::uint8_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(kChunkTerminator);
    return bytes;
}

// A recording whose chunks lie behind `hole` zero bytes (a sparse file: nothing on the disk).
// The seek walks the zeros two bytes at a time, as through any damaged stretch.
bool writeBehindHole(const std::string& path, std::uint64_t hole,
                     const std::vector<std::pair<std::uint32_t, std::string>>& chunks) {
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> out(std::fopen(path.c_str(), "wb"));
    if (!out || fseeko(out.get(), static_cast<off_t>(hole), SEEK_SET) != 0) return false;
    for (const auto& [offset, data] : chunks) {
        auto bytes = chunkOnDisk(offset, data);
        if (std::fwrite(bytes.data(), 1, bytes.size(), out.get()) != bytes.size()) return false;
    }
    return std::fclose(out.release()) == 0;
}

// Writes the chunks behind a hole that takes a seek for `target` at least `least` to cross (the
// speed differs tenfold between builds); the hole's size, or 0 on failure.
std::uint64_t writeBehindLongSeek(const std::string& path, std::uint32_t target,
                                  const std::vector<std::pair<std::uint32_t, std::string>>& chunks,
                                  milliseconds least) {
    for (std::uint64_t hole = std::uint64_t{32} << 20; hole <= std::uint64_t{8} << 30; hole *= 2) {
        if (!writeBehindHole(path, hole, chunks)) return 0;
        SerialFileReader file;
        if (!file.open(path)) return 0;
        const auto start = TestClock::now();
        if (!seekChunk(file, target)) return 0;
        if (TestClock::now() - start >= least) return hole;
    }
    return 0;
}

}  // namespace

TEST_F(PlaybackWorkerTest, StartPositionSkipsEarlierChunksAndKeepsTheirTiming) {
    ASSERT_TRUE(writeSerialFile(
        job_.filePath,
        {{0, bytesOf("A")}, {40, bytesOf("B")}, {60, bytesOf("C")}, {90, bytesOf("D")}}));
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
    EXPECT_EQ(state_.failureOf(runNumber_).kind, Failure::Kind::None);
}

TEST_F(PlaybackWorkerTest, StartPositionBeyondEveryChunkPlaysTheWholeFile) {
    ASSERT_TRUE(writeSerialFile(job_.filePath,
                                {{0, bytesOf("one")}, {1, bytesOf("two")}, {2, bytesOf("three")}}));
    startPlaying(500);
    auto arrivals = receiveAtDevice(11, milliseconds(3000));
    awaitEnd();
    EXPECT_EQ(joined(arrivals), bytesOf("onetwothree"));
    EXPECT_EQ(state_.currentPosition.load(), 0u);
    EXPECT_EQ(listener_.codes(),
              (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    EXPECT_FALSE(state_.playing.load());
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

// The command line plays with the trace off and a log on: each chunk's line, now written once
// the chunk's write has begun, still reaches the log, and the trace stays empty.
TEST_F(PlaybackWorkerTest, LogTakesEveryChunksLineWhileTheTraceIsOff) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("ab")}, {2, bytesOf("cde")}}));
    RecordingTraceSink silentSink;
    DebugTrace silent(silentSink, 0);
    WorkerRunner runner(state_, silent);
    ASSERT_NE(runner.start(playbackWorker, job_), 0u);
    ASSERT_TRUE(listener_.waitFor(WorkerEvent::Ended, milliseconds(5000)));
    runner.stopAndWait();

    EXPECT_EQ(joined(receiveAtDevice(5, milliseconds(2000))), bytesOf("abcde"));
    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath +
                             "\r\n"
                             "Sending 2 bytes for time offset 0\r\r\n\r\n"
                             "Sending 3 bytes for time offset 2\r\r\n\r\n"
                             "Ended play\r\n");
    EXPECT_TRUE(silentSink.joined().empty());
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
    EXPECT_EQ(listener_.codes(),
              (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    std::string log = logText();
    EXPECT_NE(log.find("Playing was stopped\r\nEnded play\r\n"), std::string::npos) << log;
    EXPECT_TRUE(joined(receiveAtDevice(1, milliseconds(200))).empty());
}

TEST_F(PlaybackWorkerTest, PauseDelaysTheWaitingChunkByThePause) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("a")}, {20, bytesOf("b")}}));
    startPlaying(0);
    const auto started = listener_.timeOf(WorkerEvent::Started);
    std::this_thread::sleep_until(started + milliseconds(700));
    state_.paused.store(true);
    std::this_thread::sleep_until(started + milliseconds(2700));
    EXPECT_LE(state_.currentPosition.load(), 9u);  // the clock stood still
    state_.paused.store(false);
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
    playbackWorker(&state_, job_, trace_);
    std::string log = logText();
    EXPECT_EQ(
        log.rfind("Starting playing of file " + job_.filePath + "\r\nError opening serial port: ",
                  0),
        0u)
        << log;
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_FALSE(state_.playing.load());
    EXPECT_EQ(state_.currentPosition.load(), 5u);
}

TEST_F(PlaybackWorkerTest, FileThatCannotBeOpenedIsLoggedAndChangesNothing) {
    job_.filePath = dir_.file("missing.ser");
    playbackWorker(&state_, job_, trace_);
    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath + "\r\nCouldt open playfile " +
                             job_.filePath + "\r\n");
    EXPECT_TRUE(listener_.codes().empty());
    EXPECT_FALSE(state_.playing.load());
}

TEST_F(PlaybackWorkerTest, StopPressedWhileOpeningIsNotLost) {
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{0, bytesOf("x")}}));
    state_.requestStop();
    playbackWorker(&state_, job_, trace_);
    EXPECT_EQ(listener_.codes(), (std::vector<WorkerEvent>{WorkerEvent::Ended}));
    EXPECT_FALSE(state_.playing.load());
    EXPECT_TRUE(joined(receiveAtDevice(1, milliseconds(300))).empty());
}

// A file that fails to read, here a folder opened as a file, is not taken for one that ended:
// whether the seek to the start position or the first read meets the failure.
class UnreadableFileTest : public PlaybackWorkerTest,
                           public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(UnreadableFileTest, EndsPlaybackWithTheReasonAndKeepsThePosition) {
    ASSERT_TRUE(std::filesystem::create_directory(job_.filePath));
    SerialFileReader probe;
    if (!probe.open(job_.filePath)) GTEST_SKIP() << "a folder cannot be opened as a file here";
    probe.readByte();
    ASSERT_TRUE(probe.readFailed());

    startPlaying(GetParam());
    awaitEnd();
    const Failure failure = state_.failureOf(runNumber_);
    EXPECT_EQ(failure.kind, Failure::Kind::ReadInput);
    EXPECT_EQ(failure.error, cLibraryError(probe.readError()));
    EXPECT_EQ(state_.failureOf(runNumber_ + 1).kind, Failure::Kind::None);
    EXPECT_EQ(state_.currentPosition.load(), GetParam());
    EXPECT_FALSE(state_.playing.load());
    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath +
                             "\r\nError reading file to play from: " + job_.filePath + ": " +
                             failure.reason() + "\r\nEnded play\r\n");
    EXPECT_TRUE(drainDevice(milliseconds(200)).empty());
}

INSTANTIATE_TEST_SUITE_P(PlaybackWorker, UnreadableFileTest, ::testing::Values(0u, 30u));

// ---- Stop and close never hang

// Nobody reads at the device: the pair fills and the worker's write is held up, as by hardware
// flow control. Closing stops it within a second; what reached the device is the recording's
// start without a byte repeated or missing. The stop cut a chunk, so what the port had taken but
// not yet sent was discarded: the device gets less than the chunks begun.
TEST_F(PlaybackWorkerTest, StopEndsAWriteThatTheDeviceHoldsUp) {
    const std::vector<std::uint8_t> stream = writeHeldUpRecording(job_.filePath);
    ASSERT_FALSE(stream.empty());
    startPlaying(0);
    std::this_thread::sleep_for(milliseconds(1500));
    ASSERT_FALSE(state_.endNotified()) << "the pair took the whole recording: no write was held up";

    const long long closeMs = timedClose(milliseconds(1000));
    std::printf("[ measured ] closing while a write was held up took %lld ms\n", closeMs);

    const std::vector<std::uint8_t> received = drainDevice();
    const std::string log = logText();
    const std::size_t sending = countOf(log, "Sending 255 bytes for time offset 0\r\r\n");
    EXPECT_TRUE(isPrefixOf(received, stream)) << received.size() << " bytes received";
    ASSERT_GT(sending, 0u);
    EXPECT_LT(sending, kHeldUpChunks);
    std::printf("[ measured ] %zu chunks begun, %zu bytes received after the stop\n", sending,
                received.size());
    EXPECT_LT(received.size(), (sending - 1) * kMaxChunkData) << "nothing was discarded";
    EXPECT_TRUE(log.ends_with("\r\r\n\r\nPlaying was stopped\r\nEnded play\r\n"))
        << log.substr(0, 200);
    EXPECT_EQ(sink_.joined().find("error"), std::string::npos);
    EXPECT_EQ(listener_.codes(),
              (std::vector<WorkerEvent>{WorkerEvent::Started, WorkerEvent::Ended}));
    EXPECT_FALSE(state_.playing.load());
}

// Writes time out again and again while the device does not read; once it reads, the rest of
// each chunk follows: the device gets the whole recording, and playback ends by itself.
TEST_F(PlaybackWorkerTest, WriteHeldUpForAWhileGoesOnWithTheRestOfItsChunk) {
    const std::vector<std::uint8_t> stream = writeHeldUpRecording(job_.filePath);
    ASSERT_FALSE(stream.empty());
    startPlaying(0);
    std::this_thread::sleep_for(milliseconds(1000));
    ASSERT_FALSE(state_.endNotified()) << "the pair took the whole recording: no write was held up";

    const std::vector<std::uint8_t> received = drainDevice();
    awaitEnd();
    EXPECT_EQ(received.size(), stream.size());
    EXPECT_TRUE(received == stream) << "bytes were repeated, lost or changed";
    const std::string log = logText();
    EXPECT_EQ(countOf(log, "Sending 255 bytes for time offset 0\r\r\n"), kHeldUpChunks);
    EXPECT_EQ(log.find("Playing was stopped"), std::string::npos);
    EXPECT_EQ(sink_.joined().find("error"), std::string::npos);
    EXPECT_EQ(state_.activityLevel.load(), 100);
    EXPECT_EQ(state_.currentPosition.load(), 0u);
}

// A seek through a long damaged stretch looks at the stop request as it goes.
TEST_F(PlaybackWorkerTest, StopDuringALongSeekEndsPlaybackAtOnce) {
    ASSERT_GT(writeBehindLongSeek(job_.filePath, 50, {{50, "late"}}, milliseconds(1500)), 0u);
    startPlaying(50);
    std::this_thread::sleep_until(listener_.timeOf(WorkerEvent::Started) + milliseconds(200));
    const long long closeMs = timedClose(milliseconds(500));
    std::printf("[ measured ] closing during a seek of 1.5 s or more took %lld ms\n", closeMs);

    EXPECT_EQ(logText(), "Starting playing of file " + job_.filePath +
                             "\r\nPlaying was stopped\r\nEnded play\r\n");
    EXPECT_EQ(state_.currentPosition.load(), 50u);  // the start position: nothing was played
    EXPECT_TRUE(drainDevice(milliseconds(200)).empty());
}

// The play clock starts when the seek is over: chunks a second apart still leave a second apart,
// not in one burst after a long seek, and the first comparison reads the start position.
TEST_F(PlaybackWorkerTest, PlayClockStartsWhenTheSeekIsOver) {
    ASSERT_GT(writeBehindLongSeek(job_.filePath, 50, {{50, "A"}, {60, "B"}}, milliseconds(500)),
              0u);
    startPlaying(50);
    auto arrivals = receiveAtDevice(2, milliseconds(30000));
    awaitEnd();

    ASSERT_EQ(joined(arrivals), bytesOf("AB"));
    ASSERT_EQ(arrivals.size(), 2u);
    std::printf("[ measured ] the seek took %lld ms\n",
                msBetween(listener_.timeOf(WorkerEvent::Started), arrivals[0].time));
    EXPECT_NEAR(msBetween(arrivals[0].time, arrivals[1].time), 1000, 250);
    const std::string trace = sink_.joined();
    const std::size_t waiting = trace.find(" - wating for 60\r\n");
    ASSERT_NE(waiting, std::string::npos) << trace;
    const std::size_t lineStart = trace.rfind("At ", waiting);
    ASSERT_NE(lineStart, std::string::npos);
    EXPECT_LE(std::stoul(trace.substr(lineStart + 3, waiting - lineStart - 3)), 51u)
        << "the first comparison after the seek";
}

// A corrupt, far time offset: ten times it does not fit 32 bits. The worker still wakes only
// every 500 ms while it waits, not every few milliseconds.
class FarTimeOffsetTest : public PlaybackWorkerTest,
                          public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(FarTimeOffsetTest, IsAwaitedInSteps500MsApart) {
    const std::uint32_t farOffset = GetParam();
    ASSERT_TRUE(writeSerialFile(job_.filePath, {{farOffset, bytesOf("never")}}));
    startPlaying(0);
    std::this_thread::sleep_until(listener_.timeOf(WorkerEvent::Started) + milliseconds(1200));
    timedClose(milliseconds(1000));

    // Comparisons at about 0, 500 and 1000 ms.
    const std::size_t wakeUps =
        countOf(sink_.joined(), " - wating for " + std::to_string(farOffset) + "\r\n");
    EXPECT_GE(wakeUps, 2u);
    EXPECT_LE(wakeUps, 4u);
    EXPECT_TRUE(drainDevice(milliseconds(200)).empty());
}

INSTANTIATE_TEST_SUITE_P(PlaybackWorker, FarTimeOffsetTest,
                         ::testing::Values(429'496'730u, 429'496'750u, 858'993'460u, 0xFFFFFFFFu));

// With reconnect, a port that goes away does not end the playback: what fell due while it was
// away is dropped, and the chunks after it come back on their schedule.
TEST_F(PlaybackWorkerTest, WithReconnectWhatFellDueWhileAwayIsSkipped) {
    ASSERT_TRUE(writeSerialFile(
        job_.filePath, {{0, bytesOf("first")}, {15, bytesOf("lost")}, {40, bytesOf("after")}}));
    job_.reconnect = true;
    startPlaying(0);
    EXPECT_EQ(joined(receiveAtDevice(5, milliseconds(5000))), bytesOf("first"));
    device_.close();
    ASSERT_TRUE(pair_.takeAway());
    // The line comes once the write at 1.5 s has failed into the missing port.
    const auto logged = [&](const std::string& text) {
        for (int i = 0; i < 1000 && logText().find(text) == std::string::npos; ++i)
            std::this_thread::sleep_for(milliseconds(10));
        return logText().find(text) != std::string::npos;
    };
    ASSERT_TRUE(logged("Sending 4 bytes for time offset 15"));
    std::string why;
    ASSERT_TRUE(pair_.bringBack(&why)) << why;
    ASSERT_TRUE(device_.open(SerialPort::devicePath(pair_.devicePortName()), 115200, 8,
                             Parity::None, StopBits::One));
    EXPECT_EQ(joined(receiveAtDevice(5, milliseconds(5000))), bytesOf("after"));
    awaitEnd();
    const std::string log = logText();
    const std::size_t away = log.find(pair_.portName() + " went away");
    const std::size_t back = log.find(pair_.portName() + " is back after");
    ASSERT_NE(away, std::string::npos) << log;
    ASSERT_NE(back, std::string::npos) << log;
    EXPECT_LT(away, back);
    EXPECT_NE(log.find("4 bytes written meanwhile were dropped", back), std::string::npos) << log;
    EXPECT_EQ(state_.failureOf(runNumber_).kind, Failure::Kind::None);
}
