#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <mutex>
#include <thread>
#include <tuple>

#include "engine/WaitableSerialPort.h"
#include "tests/support/SerialPair.h"
#include "tests/support/TerminalProgram_posix.h"
#include "workers/MonitorRelay.h"
#include "workers/PortOpening.h"
#include "workers/QueuedPortWriter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

// A monitor between a pseudo-terminal host side, which the test opens as the program, and the
// near end of a serial pair.
class MonitorRelayTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(pair_.start(&why)) << why;
        DeviceSettings settings;
        settings.speed = 115200;
        settings.port = "pty";
        ASSERT_FALSE(openHostSidePort(settings, &host_).happened());
        ASSERT_TRUE(device_.open(pair_.portName(), 115200, 8, Parity::None, StopBits::One))
            << device_.errorText();
        job_.pairs = {{host_.port.get(), &device_, "pty", pair_.portName()}};
        job_.stop = &stop_;
        job_.sink = [this](const ConversationBurst&) { return sinkFailure_; };
    }
    void TearDown() override { end(); }
    void start() {
        run_ = std::thread([this] { ended_ = runMonitor(job_, counts_); });
    }
    Failure end() {
        stop_ = true;
        if (run_.joinable()) run_.join();
        return ended_;
    }
    SerialPair pair_;
    OpenedPort host_;
    WaitableSerialPort device_;
    MonitorJob job_;
    MonitorCounts counts_;
    std::atomic<bool> stop_{false};
    std::thread run_;
    Failure ended_;
    Failure sinkFailure_;
};

TEST_F(MonitorRelayTest, TheDeviceGoingAwayEndsTheRunNamingItsPort) {
    start();
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(pair_.stop());
    run_.join();
    EXPECT_EQ(ended_.kind, Failure::Kind::PortLost);
    EXPECT_EQ(ended_.subject, job_.pairs[0].deviceName);
    EXPECT_FALSE(ended_.reason().empty());
}

// The idle call comes while nothing arrives; the stop flag ends the run cleanly.
TEST_F(MonitorRelayTest, QuietRunCallsIdleAndEndsAtTheStopFlag) {
    std::atomic<int> idles{0};
    job_.idle = [&](std::uint64_t) {
        ++idles;
        return Failure{};
    };
    start();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_GE(idles.load(), 4);
    EXPECT_FALSE(end().happened());  // how soon: bench_monitor_idle
}

// The bytes are passed on before the sink sees them: a sink that fails cannot hold them back.
TEST_F(MonitorRelayTest, ASinkFailureEndsTheRunAfterTheBytesWerePassed) {
    sinkFailure_ = fileFailure(Failure::Kind::WriteOutput, "out.pcapng", {});
    TerminalProgram far;
    ASSERT_TRUE(far.open(pair_.devicePortName()));
    start();
    TerminalProgram program;
    ASSERT_TRUE(program.open(host_.programPath));
    ASSERT_TRUE(program.send({1, 2, 3}));
    EXPECT_EQ(far.receive(3, milliseconds(3000)), (Bytes{1, 2, 3}));
    run_.join();
    EXPECT_EQ(ended_.kind, Failure::Kind::WriteOutput);
}

std::uint8_t streamByte(std::size_t index, std::uint8_t seed) {
    return static_cast<std::uint8_t>(index % 251 + seed);  // 251: no buffer size lines up with it
}

// One far end talking flat out: sends `count` stream bytes while reading the other way's until
// `count` came or the time ran out. Returns what it read.
Bytes talk(int fd, std::uint8_t sendSeed, std::size_t count,
           std::chrono::steady_clock::time_point giveUp) {
    Bytes got;
    std::size_t sent = 0;
    std::uint8_t out[4096];
    std::uint8_t in[4096];
    while ((sent < count || got.size() < count) && std::chrono::steady_clock::now() < giveUp) {
        pollfd watch{fd, static_cast<short>(POLLIN | (sent < count ? POLLOUT : 0)), 0};
        if (::poll(&watch, 1, 50) <= 0) continue;
        if (watch.revents & POLLIN) {
            const ssize_t n = ::read(fd, in, sizeof in);
            if (n > 0) got.insert(got.end(), in, in + n);
        }
        if ((watch.revents & POLLOUT) && sent < count) {
            const std::size_t size = std::min(sizeof out, count - sent);
            for (std::size_t i = 0; i < size; ++i) out[i] = streamByte(sent + i, sendSeed);
            const ssize_t n = ::write(fd, out, size);
            if (n > 0) sent += static_cast<std::size_t>(n);
        }
    }
    return got;
}

std::size_t firstWrongByte(const Bytes& got, std::uint8_t seed) {
    for (std::size_t i = 0; i < got.size(); ++i) {
        if (got[i] != streamByte(i, seed)) return i;
    }
    return got.size();
}

// Both directions streaming at once through two serial pairs: a relay that waited on a write
// while its other port's bytes piled up would stall both ends.
TEST(MonitorRelayDuplexTest, BothDirectionsFlatOutArriveWholeAndInOrder) {
    constexpr std::size_t kEachWay = 3 << 20;
    SerialPair hostPair;
    SerialPair devicePair;
    std::string why;
    ASSERT_TRUE(hostPair.start(&why)) << why;
    ASSERT_TRUE(devicePair.start(&why)) << why;
    WaitableSerialPort host;
    WaitableSerialPort device;
    ASSERT_TRUE(host.open(hostPair.portName(), 115200, 8, Parity::None, StopBits::One));
    ASSERT_TRUE(device.open(devicePair.portName(), 115200, 8, Parity::None, StopBits::One));
    TerminalProgram program;
    TerminalProgram instrument;
    ASSERT_TRUE(program.open(hostPair.devicePortName()));
    ASSERT_TRUE(instrument.open(devicePair.devicePortName()));

    std::atomic<bool> stop{false};
    std::size_t sunk[2] = {0, 0};
    MonitorJob job{{{&host, &device, "host", "device"}}, &stop, {}, {}, {}};
    job.sink = [&](const ConversationBurst& burst) {
        sunk[burst.direction == Direction::Host ? 0 : 1] += burst.bytes.size();
        return Failure{};
    };
    MonitorCounts counts;
    Failure ended;
    std::thread run([&] { ended = runMonitor(job, counts); });

    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    Bytes atDevice;
    std::thread deviceSide(
        [&] { atDevice = talk(instrument.descriptor(), 100, kEachWay, giveUp); });
    const Bytes atProgram = talk(program.descriptor(), 0, kEachWay, giveUp);
    deviceSide.join();
    stop = true;
    // A relay stuck in a write sees no stop flag: ending the pairs fails its write.
    if (atProgram.size() < kEachWay || atDevice.size() < kEachWay) {
        hostPair.stop();
        devicePair.stop();
    }
    run.join();

    EXPECT_EQ(atDevice.size(), kEachWay);
    EXPECT_EQ(firstWrongByte(atDevice, 0), atDevice.size());
    EXPECT_EQ(atProgram.size(), kEachWay);
    EXPECT_EQ(firstWrongByte(atProgram, 100), atProgram.size());
    EXPECT_FALSE(ended.happened()) << ended.reason();
    EXPECT_EQ(sunk[0], kEachWay);
    EXPECT_EQ(sunk[1], kEachWay);
}

}  // namespace

namespace {

// A port whose behaviour the test sets: the bytes it hands over, a failure once they are taken,
// and writes that take nothing (a far side that never reads). Its waits never block: it tells
// its state without a descriptor.
class ScriptedPort final : public WaitablePort {
public:
    void arrive(const Bytes& bytes) {
        std::lock_guard lock(mutex_);
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
    }
    void fail() { failed_ = true; }
    void refuseWrites() { takesWrites_ = false; }
    std::size_t taken() const { return taken_.load(); }

    bool readAvailable(void* buffer, std::uint32_t count, std::uint32_t* bytesRead) override {
        std::lock_guard lock(mutex_);
        const std::size_t n = std::min<std::size_t>(count, incoming_.size());
        std::copy_n(incoming_.begin(), n, static_cast<std::uint8_t*>(buffer));
        incoming_.erase(incoming_.begin(), incoming_.begin() + static_cast<std::ptrdiff_t>(n));
        taken_ += n;
        *bytesRead = static_cast<std::uint32_t>(n);
        return n > 0 || !failed_;
    }
    bool writeWithin(const void* buffer, std::uint32_t count, std::uint32_t* bytesWritten,
                     milliseconds limit) override {
        if (failed_) return false;
        if (!takesWrites_) std::this_thread::sleep_for(limit);
        *bytesWritten = takesWrites_ ? count : 0;
        std::lock_guard lock(mutex_);
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        written_.insert(written_.end(), bytes, bytes + *bytesWritten);
        return true;
    }
    Bytes written() {
        std::lock_guard lock(mutex_);
        return written_;
    }
    const char* errorText() override { return "gone"; }
    const char* writeErrorText() override { return "gone"; }
    WaitStart startWait() override {
        std::lock_guard lock(mutex_);
        if (!incoming_.empty()) return {PortInput::Ready, -1};
        return {failed_ ? PortInput::Failed : PortInput::None, -1};
    }
    PortInput finishWait(std::uint32_t) override { return PortInput::None; }

private:
    std::mutex mutex_;
    std::deque<std::uint8_t> incoming_;
    Bytes written_;
    std::atomic<bool> failed_{false};
    std::atomic<bool> takesWrites_{true};
    std::atomic<std::size_t> taken_{0};
};

// A monitor between two scripted ports, keeping every burst the sink gets.
class MonitorKeepsWhatCameTest : public ::testing::Test {
protected:
    void SetUp() override {
        job_.pairs = {{&host_, &device_, "host", "device"}};
        job_.stop = &stop_;
        job_.sink = [this](const ConversationBurst& burst) {
            Bytes& kept = burst.direction == Direction::Host ? fromHost_ : fromDevice_;
            kept.insert(kept.end(), burst.bytes.begin(), burst.bytes.end());
            return Failure{};
        };
    }
    ScriptedPort host_, device_;
    MonitorJob job_;
    MonitorCounts counts_;
    std::atomic<bool> stop_{false};
    Bytes fromHost_, fromDevice_;
};

}  // namespace

// The host's port fails just as the device has spoken: the device's bytes are in the file.
TEST_F(MonitorKeepsWhatCameTest, TheDevicesBytesAreKeptWhenTheHostPortFails) {
    device_.arrive({'O', 'K'});
    host_.fail();
    const Failure ended = runMonitor(job_, counts_);
    EXPECT_EQ(ended.kind, Failure::Kind::PortLost);
    EXPECT_EQ(ended.subject, "host");
    EXPECT_EQ(fromDevice_, (Bytes{'O', 'K'}));
}

// The device takes nothing, so the queue towards it fills and the host's next read waits for
// room; a stop then still records that read.
TEST_F(MonitorKeepsWhatCameTest, AStopWhileTheQueueIsFullKeepsWhatWasRead) {
    device_.refuseWrites();
    host_.arrive(Bytes(QueuedPortWriter::kDefaultLimit + (1 << 20), 0x5a));
    std::thread run([this] { runMonitor(job_, counts_); });
    // The reading has stopped once the taken count stands still.
    for (std::size_t before = 0; host_.taken() != before || before == 0;) {
        before = host_.taken();
        std::this_thread::sleep_for(milliseconds(300));
    }
    stop_ = true;
    run.join();
    EXPECT_GT(host_.taken(), QueuedPortWriter::kDefaultLimit);
    EXPECT_EQ(fromHost_.size(), host_.taken());
    EXPECT_EQ(counts_.hostBytes.load(), host_.taken());
}

// Two pairs on one monitor: each pair's bytes reach its own other side only and are recorded
// under its interface; a port of one pair failing still keeps what the other pair's device said.
TEST(MonitorSeveralPairsTest, EachPairPassesItsOwnBytesUnderItsInterface) {
    ScriptedPort host0, device0, host1, device1;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::vector<std::tuple<std::uint32_t, Direction, Bytes>> sunk;
    MonitorJob job;
    job.pairs = {{&host0, &device0, "host0", "device0"}, {&host1, &device1, "host1", "device1"}};
    job.stop = &stop;
    job.sink = [&](const ConversationBurst& burst) {
        std::lock_guard lock(mutex);
        sunk.emplace_back(burst.interfaceIndex, burst.direction,
                          Bytes(burst.bytes.begin(), burst.bytes.end()));
        return Failure{};
    };
    MonitorCounts counts;
    Failure ended;
    std::thread run([&] { ended = runMonitor(job, counts); });
    host1.arrive({'Q'});
    device0.arrive({'A'});
    for (int i = 0; i < 500 && (device1.written().empty() || host0.written().empty()); ++i)
        std::this_thread::sleep_for(milliseconds(10));
    device1.arrive({'Z'});
    host0.fail();
    run.join();

    EXPECT_EQ(ended.kind, Failure::Kind::PortLost);
    EXPECT_EQ(ended.subject, "host0");
    EXPECT_EQ(device1.written(), Bytes{'Q'});
    EXPECT_EQ(host0.written(), Bytes{'A'});
    EXPECT_TRUE(device0.written().empty());
    EXPECT_TRUE(host1.written().empty() || host1.written() == Bytes{'Z'});  // before the failure
    using Sunk = std::tuple<std::uint32_t, Direction, Bytes>;
    std::sort(sunk.begin(), sunk.end());
    EXPECT_EQ(sunk, (std::vector<Sunk>{{0, Direction::Device, {'A'}},
                                       {1, Direction::Host, {'Q'}},
                                       {1, Direction::Device, {'Z'}}}));
}
