#include <gtest/gtest.h>

#include <thread>

#include "engine/WaitableSerialPort.h"
#include "tests/support/SerialPair.h"
#include "tests/support/TerminalProgram_posix.h"
#include "workers/HostSidePort.h"
#include "workers/MonitorRelay.h"

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
        job_.host = host_.port.get();
        job_.device = &device_;
        job_.hostName = "pty";
        job_.deviceName = pair_.portName();
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
    HostSidePort host_;
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
    EXPECT_EQ(ended_.subject, job_.deviceName);
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

}  // namespace
