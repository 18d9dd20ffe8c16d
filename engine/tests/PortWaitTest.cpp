#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/WaitableSerialPort.h"
#include "engine/tests/PortWaitTestSupport.h"
#include "engine/tests/SerialPortTestSupport.h"

using namespace std::chrono_literals;

namespace {

// Both ends of one pair as waitable ports, so that each side's writes wake the other's wait.
class WaitablePairTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(pair_.start(&why)) << why;
        ASSERT_TRUE(host_.open(SerialPort::devicePath(pair_.portName()), 115200, 8, Parity::None,
                               StopBits::One))
            << host_.errorText();
        ASSERT_TRUE(device_.open(SerialPort::devicePath(pair_.devicePortName()), 115200, 8,
                                 Parity::None, StopBits::One))
            << device_.errorText();
        takeFrom(host_, SIZE_MAX, 100ms);  // what an earlier test left on the shared pair
        takeFrom(device_, SIZE_MAX, 100ms);
    }

    std::vector<PortInput> waitBoth(std::chrono::milliseconds timeout) {
        WaitablePort* ports[] = {&host_, &device_};
        return waitForInput(ports, timeout);
    }

    SerialPair pair_;
    WaitableSerialPort host_;
    WaitableSerialPort device_;
};

using States = std::vector<PortInput>;

}  // namespace

TEST_F(WaitablePairTest, WaitTellsWhichPortHasBytesAndReadsNeverBlock) {
    auto start = TestClock::now();
    EXPECT_EQ(waitBoth(200ms), (States{PortInput::None, PortInput::None}));
    EXPECT_GE(msSince(start), 190);

    ASSERT_TRUE(writeText(host_, "ping\r\n\x03")) << host_.errorText();
    start = TestClock::now();
    EXPECT_EQ(waitBoth(3s), (States{PortInput::None, PortInput::Ready}));
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(takeFrom(device_, 7, 3s), bytesOf("ping\r\n\x03"));

    // Nothing more there: the read comes back at once with nothing.
    std::uint8_t buffer[64];
    std::uint32_t n = 99;
    start = TestClock::now();
    EXPECT_TRUE(device_.readAvailable(buffer, sizeof buffer, &n)) << device_.errorText();
    EXPECT_EQ(n, 0u);
    EXPECT_LT(msSince(start), 50);

    ASSERT_TRUE(writeText(device_, "pong")) << device_.errorText();
    EXPECT_EQ(waitBoth(3s), (States{PortInput::Ready, PortInput::None}));
    EXPECT_EQ(takeFrom(host_, 4, 3s), bytesOf("pong"));

    // One answer tells both ports. The pair's relay may be slow on a busy machine, so a wait
    // that finds only one ready is asked again: the one it found stays ready meanwhile.
    ASSERT_TRUE(writeText(host_, "a"));
    ASSERT_TRUE(writeText(device_, "b"));
    const States both{PortInput::Ready, PortInput::Ready};
    States states;
    for (int tries = 0; tries < 30 && states != both; ++tries) {
        std::this_thread::sleep_for(100ms);
        states = waitBoth(3s);
    }
    EXPECT_EQ(states, both);
    EXPECT_EQ(takeFrom(host_, 1, 3s), bytesOf("b"));
    EXPECT_EQ(takeFrom(device_, 1, 3s), bytesOf("a"));
}

// A stream far larger than the pair holds at once arrives whole and in order through waits and
// reads of what is there.
TEST_F(WaitablePairTest, LongStreamArrivesWholeThroughWaits) {
    std::string sent(100000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i % 251);
    bool written = false;
    std::thread writer([&] { written = writeText(host_, sent); });
    const std::vector<std::uint8_t> got = takeFrom(device_, sent.size(), 20s);
    writer.join();
    EXPECT_TRUE(written) << host_.errorText();
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == bytesOf(sent));
}

// Bytes still on their way when the device went are handed over; then the port fails, at once
// on every later wait, with a reason.
TEST_F(WaitablePairTest, PortGoingAwayIsThatPortsFailureNotEndlessReadiness) {
    device_.close();
    if (!pair_.stop()) GTEST_SKIP() << "the far end of this pair cannot be ended from here";
    WaitablePort* ports[] = {&host_};
    const auto start = TestClock::now();
    PortInput state = PortInput::None;
    int readyWithNothing = 0;
    while (state != PortInput::Failed && msSince(start) < 3000) {
        state = waitForInput(ports, 500ms)[0];
        std::uint8_t buffer[64];
        std::uint32_t n = 0;
        if (state == PortInput::Ready && host_.readAvailable(buffer, sizeof buffer, &n) && n == 0) {
            ++readyWithNothing;
        }
    }
    EXPECT_EQ(state, PortInput::Failed) << "no failure within 3 s of the hang-up";
    EXPECT_LE(readyWithNothing, 2);
    EXPECT_STRNE(host_.errorText(), "");
    std::printf("[ measured ] failed after %lld ms: %s\n", msSince(start), host_.errorText());
    const auto again = TestClock::now();
    EXPECT_EQ(waitForInput(ports, 2s)[0], PortInput::Failed);
    EXPECT_LT(msSince(again), 500);
}
