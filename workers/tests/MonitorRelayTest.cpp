#include <gtest/gtest.h>

#include <mutex>
#include <thread>

#include "engine/WaitableSerialPort.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/ModbusTestDevice.h"
#include "tests/support/SerialPair.h"
#include "tests/support/TerminalProgram_posix.h"
#include "workers/HostSidePort.h"
#include "workers/MonitorRelay.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

Bytes answerTo(std::uint16_t first, std::uint16_t count) {
    std::vector<std::uint16_t> values;
    for (std::uint16_t k = 0; k < count; ++k) values.push_back(100 + first + k);
    return modbus_rtu::readHoldingRegistersResponse(1, values);
}

// A monitor between a pseudo-terminal host side, which the test opens as the program, and a
// Modbus device at the far end of a serial pair; the run keeps every burst it is given.
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
        job_.host = host_.port.get();
        job_.device = &device_;
        job_.hostName = "pty";
        job_.deviceName = pair_.portName();
        job_.stop = &stop_;
        job_.sink = [this](const ConversationBurst& burst) {
            std::lock_guard lock(mutex_);
            bursts_.push_back({burst.timeMicros, burst.direction, {}, {}});
            kept_.emplace_back(burst.bytes.begin(), burst.bytes.end());
            return sinkFailure_;
        };
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
    // Each direction's bytes in the order the bursts came.
    Bytes bytesFrom(Direction direction) {
        std::lock_guard lock(mutex_);
        Bytes all;
        for (std::size_t i = 0; i < bursts_.size(); ++i)
            if (bursts_[i].direction == direction)
                all.insert(all.end(), kept_[i].begin(), kept_[i].end());
        return all;
    }

    SerialPair pair_;
    HostSidePort host_;
    WaitableSerialPort device_;
    MonitorJob job_;
    MonitorCounts counts_;
    std::atomic<bool> stop_{false};
    std::thread run_;
    Failure ended_;
    Failure sinkFailure_;
    std::mutex mutex_;
    std::vector<ConversationBurst> bursts_;
    std::vector<Bytes> kept_;
};

// libmodbus's tools open the port for every poll and go: each answer comes while the program has
// the pseudo-terminal closed, and must wait there for its next visit.
TEST_F(MonitorRelayTest, RequestsFromAProgramThatReopensThePtyGetEveryAnswer) {
    ModbusTestDevice modbus({1, std::chrono::microseconds(30000), 100});
    std::string why;
    DeviceSettings settings;
    settings.speed = 115200;
    ASSERT_TRUE(modbus.start(pair_.devicePortName(), settings, &why)) << why;
    start();
    Bytes requests, answers;
    for (std::uint16_t poll = 0; poll < 3; ++poll) {
        const Bytes request = modbus_rtu::readHoldingRegistersQuery(1, 10 * poll, 1 + poll);
        const Bytes answer = answerTo(10 * poll, 1 + poll);
        TerminalProgram program;
        ASSERT_TRUE(program.open(host_.programPath));
        ASSERT_TRUE(program.send(request));
        program.close();
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_TRUE(program.open(host_.programPath));
        EXPECT_EQ(program.receive(answer.size(), milliseconds(3000)), answer) << poll;
        requests.insert(requests.end(), request.begin(), request.end());
        answers.insert(answers.end(), answer.begin(), answer.end());
    }
    EXPECT_FALSE(end().happened());
    EXPECT_EQ(bytesFrom(Direction::Host), requests);
    EXPECT_EQ(bytesFrom(Direction::Device), answers);
    EXPECT_EQ(counts_.hostBytes.load(), requests.size());
    EXPECT_EQ(counts_.deviceBytes.load(), answers.size());
    EXPECT_EQ(counts_.hostBursts + counts_.deviceBursts, bursts_.size());
    // Each answer comes after its request by at least the device's delay.
    for (std::size_t i = 1; i < bursts_.size(); ++i) {
        EXPECT_GE(bursts_[i].timeMicros, bursts_[i - 1].timeMicros);
        if (bursts_[i].direction != bursts_[i - 1].direction &&
            bursts_[i].direction == Direction::Device)
            EXPECT_GE(bursts_[i].timeMicros - bursts_[i - 1].timeMicros, 25'000u) << i;
    }
}

TEST_F(MonitorRelayTest, TheDeviceGoingAwayEndsTheRunNamingItsPort) {
    start();
    std::this_thread::sleep_for(milliseconds(100));
    ASSERT_TRUE(pair_.stop());
    run_.join();
    EXPECT_EQ(ended_.kind, Failure::Kind::PortLost);
    EXPECT_EQ(ended_.subject, job_.deviceName);
    EXPECT_FALSE(ended_.reason().empty());
}

// The idle call comes while nothing arrives; the stop flag ends the run promptly and cleanly.
TEST_F(MonitorRelayTest, QuietRunCallsIdleAndEndsAtTheStopFlag) {
    std::atomic<int> idles{0};
    job_.idle = [&](std::uint64_t) {
        ++idles;
        return Failure{};
    };
    start();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_GE(idles.load(), 4);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(end().happened());
    EXPECT_LT(std::chrono::steady_clock::now() - asked, milliseconds(1000));  // ~50 ms expected
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

}  // namespace
