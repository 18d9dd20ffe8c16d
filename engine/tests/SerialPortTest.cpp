#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine/CommErrorText.h"
#include "engine/SerialPort.h"
#include "engine/SerialTimeoutPlan.h"
#include "engine/tests/SerialPortTestSupport.h"

using namespace std::chrono_literals;

// --- Error texts -----------------------------------------------------------------------------

TEST(CommMaskText, NamesInTheirFixedOrderAndUnnamedBitsOnlyInTheNumber) {
    EXPECT_EQ(commMaskText(0x0A), "CommMask:0x0000000A : CE_FRAME CE_OVERRUN");
    EXPECT_EQ(commMaskText(0x851F),
              "CommMask:0x0000851F : CE_BREAK CE_FRAME CE_IOE CE_MODE CE_OVERRUN CE_RXOVER "
              "CE_RXPARITY CE_TXFULL");
    EXPECT_EQ(commMaskText(0x80010022), "CommMask:0x80010022 : CE_OVERRUN");
    EXPECT_EQ(commMaskText(0x20), "CommMask:0x00000020 :");
}

TEST(ErrorTextStore, CutsTo254CharactersAndTerminates) {
    char text[256];
    std::memset(text, 'x', sizeof text);
    storeErrorText(text, std::string(300, 'a'));
    EXPECT_EQ(std::strlen(text), 254u);
    storeErrorText(text, "short");
    EXPECT_STREQ(text, "short");
}

// --- Timeout arithmetic ----------------------------------------------------------------------

TEST(SerialReadPlan, FollowsTheWindowsDriversCombinations) {
    struct Case {
        SerialTimeouts timeouts;
        std::uint32_t count;
        bool atOnce, firstBytes;
        std::optional<std::uint64_t> totalMs;
        std::optional<std::uint32_t> intervalMs;
    };
    const std::uint32_t kMax = kSerialTimeoutMax;
    const Case cases[] = {
        {kRecordingTimeouts, 100000, false, true, 100, {}},  // MAXDWORD multiplier: constant only
        {{}, 10, false, false, {}, {}},                      // wait for every byte
        {{kMax, 0, 0, 0, 0}, 10, true, false, {}, {}},
        {{kMax, 5, 100, 0, 0}, 10, false, true, 150, {}},
        {{kMax, 5, kMax, 0, 0}, 10, false, false, {}, {}},  // MAXDWORD constant is not special
        {{20, 10, 50, 0, 0}, 5, false, false, 100, 20},
        {{20, 0, 0, 0, 0}, 5, false, false, {}, 20},
        {{0, 0xFFFFFFFE, 0xFFFFFFFE, 0, 0},
         kMax,
         false,
         false,
         std::uint64_t{0xFFFFFFFE} * kMax + 0xFFFFFFFE,
         {}},  // no 32-bit wrap
    };
    for (const Case& c : cases) {
        SerialReadPlan plan = planSerialRead(c.timeouts, c.count);
        SCOPED_TRACE(testing::Message() << c.timeouts.readIntervalTimeout << "/"
                                        << c.timeouts.readTotalTimeoutMultiplier << "/"
                                        << c.timeouts.readTotalTimeoutConstant);
        EXPECT_EQ(plan.returnAtOnce, c.atOnce);
        EXPECT_EQ(plan.returnOnFirstBytes, c.firstBytes);
        EXPECT_EQ(plan.totalMs, c.totalMs);
        EXPECT_EQ(plan.intervalMs, c.intervalMs);
    }
    EXPECT_EQ(serialWriteLimitMs({0, 0, 0, 0x10000, 7}, 0x10000), 0x100000007u);
    EXPECT_FALSE(serialWriteLimitMs(SerialTimeouts{}, 100));
}

TEST(SerialDeadline, PollTimeoutRoundsUpAndNeverWraps) {
    auto now = SerialClock::now();
    EXPECT_EQ(pollTimeoutMs(now, std::nullopt, std::nullopt), -1);
    EXPECT_EQ(pollTimeoutMs(now, now - 1ms, std::nullopt), 0);
    EXPECT_EQ(pollTimeoutMs(now, now + 1s, now), 0);
    // Rounding down would poll for 0 ms and spin until the deadline.
    EXPECT_EQ(pollTimeoutMs(now, std::nullopt, now + 400us), 1);
    EXPECT_EQ(pollTimeoutMs(now, now + 30ms, now + 20ms), 20);
    auto far = deadlineAfter(now, std::uint64_t{0xFFFFFFFE} * 0xFFFFFFFF);
    ASSERT_TRUE(far);
    EXPECT_GT(*far, now);
    EXPECT_EQ(pollTimeoutMs(now, far, std::nullopt), INT_MAX);
}

// --- Without a pair --------------------------------------------------------------------------

TEST(SerialPort, MissingPortFailsWithTheSystemsText) {
    SerialPort port;
    EXPECT_FALSE(port.open(missingPortPath(), 9600, 8, Parity::None, StopBits::One));
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(std::string(port.errorText()), systemTextForMissingPort());
}

TEST(SerialPort, ClosedPortFailsAndLeavesCountsAlone) {
    SerialPort port;
    std::uint8_t buffer[8] = {};
    std::uint32_t count = 12345;
    EXPECT_FALSE(port.read(buffer, sizeof buffer, &count));
    EXPECT_FALSE(port.write(buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 12345u);
    EXPECT_FALSE(port.setTimeouts(&kRecordingTimeouts));
    SerialTimeouts timeouts{};
    EXPECT_FALSE(port.getTimeouts(&timeouts));
}

// --- Through a pseudo-terminal pair ----------------------------------------------------------

TEST_F(SerialPortPairTest, BytesCrossBothWaysUnchanged) {
    std::vector<std::uint8_t> text = {'h', 'e', 'l', 'l', 'o', '\r', '\n'};
    ASSERT_TRUE(writeAll(port_, text)) << port_.errorText();
    EXPECT_EQ(readUpTo(device_, text.size()), text);
    // Every byte value, including XON/XOFF, CR, LF and NUL, which a cooked line would change.
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    ASSERT_TRUE(writeAll(device_, all)) << device_.errorText();
    EXPECT_EQ(readUpTo(port_, all.size()), all);
}

struct TimedRead {
    const char* name;
    SerialTimeouts timeouts;
    std::string pending;  // there before the read starts
    std::string early;    // sent as the read starts
    std::string late;     // sent 150 ms later
    std::uint32_t count;
    std::string expected;
    long long minMs, maxMs;
    bool needsFirstBytesReturn;
};

class SerialPortTimedReadTest : public SerialPortPairTest,
                                public testing::WithParamInterface<TimedRead> {};

TEST_P(SerialPortTimedReadTest, ReturnsTheRightBytesAtTheRightTime) {
    const TimedRead& c = GetParam();
    std::string why;
    if (c.needsFirstBytesReturn && !firstBytesEndARead(&why)) GTEST_SKIP() << why;
    auto bytes = [](const std::string& s) { return std::vector<std::uint8_t>(s.begin(), s.end()); };
    if (!c.pending.empty()) {
        ASSERT_TRUE(writeAll(device_, bytes(c.pending)));
        std::this_thread::sleep_for(300ms);
    }
    ASSERT_TRUE(port_.setTimeouts(&c.timeouts));
    std::thread sender([&] {
        if (!c.early.empty()) writeAll(device_, bytes(c.early));
        std::this_thread::sleep_for(150ms);
        if (!c.late.empty()) writeAll(device_, bytes(c.late));
    });
    std::vector<char> buffer(c.count);
    std::uint32_t n = 0;
    auto start = TestClock::now();
    bool ok = port_.read(buffer.data(), c.count, &n);
    long long elapsed = msSince(start);
    sender.join();
    std::printf("[   info   ] %s: %lld ms\n", c.name, elapsed);
    EXPECT_TRUE(ok) << port_.errorText();
    EXPECT_EQ(std::string(buffer.data(), n), c.expected);
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LE(elapsed, c.maxMs);
}

// Bounds are loose: a busy machine only makes reads later, so the lower bounds carry the test.
INSTANTIATE_TEST_SUITE_P(
    Timeouts, SerialPortTimedReadTest,
    testing::Values(
        TimedRead{"RecordingEmpty", kRecordingTimeouts, "", "", "", 255, "", 60, 600, false},
        TimedRead{"RecordingPendingAtOnce", kRecordingTimeouts, "0123456789", "", "", 255,
                  "0123456789", 0, 59, true},
        TimedRead{"FirstBytesEndTheWait",
                  {kSerialTimeoutMax, kSerialTimeoutMax, 3000, 0, 0},
                  "",
                  "",
                  "xyz",
                  255,
                  "xyz",
                  100,
                  1500,
                  true},
        TimedRead{
            "ReturnAtOnceEmpty", {kSerialTimeoutMax, 0, 0, 0, 0}, "", "", "", 16, "", 0, 50, false},
        TimedRead{"ZeroWaitsForAll", {}, "", "abcd", "efgh", 8, "abcdefgh", 100, 5000, false},
        TimedRead{"TotalCountsTheMultiplier",
                  {0, 10, 100, 0, 0},
                  "",
                  "abc",
                  "",
                  10,
                  "abc",
                  150,
                  1500,
                  false},
        // The late bytes free a read that ignores the interval, so it fails rather than hangs.
        TimedRead{"IntervalEndsAtAGap",
                  {50, 0, 0, 0, 0},
                  "",
                  "abc",
                  "defghij",
                  10,
                  "abc",
                  0,
                  140,
                  false}),
    [](const testing::TestParamInfo<TimedRead>& param) { return std::string(param.param.name); });

TEST_F(SerialPortPairTest, BurstOf600IsReadInPiecesWithNothingLost) {
    std::vector<std::uint8_t> burst(600);
    for (std::size_t i = 0; i < burst.size(); ++i) burst[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(writeAll(device_, burst));
    std::this_thread::sleep_for(300ms);
    std::vector<std::uint32_t> pieces;
    EXPECT_EQ(readUpTo(port_, burst.size(), 3s, &pieces), burst);
    EXPECT_GE(pieces.size(), 3u);
}

TEST_F(SerialPortPairTest, LongWriteIsDeliveredWhole) {
    std::vector<std::uint8_t> data(200000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    std::vector<std::uint8_t> received;
    std::thread reader([&] { received = readUpTo(device_, data.size(), 20s); });
    std::uint32_t written = 0;
    bool ok = port_.write(data.data(), static_cast<std::uint32_t>(data.size()), &written);
    reader.join();
    EXPECT_TRUE(ok) << port_.errorText();
    EXPECT_EQ(written, data.size());
    EXPECT_TRUE(received == data) << "received " << received.size() << " bytes";
}

// A write that the far end holds up (here: nobody reads it) ends at its write timeout with the
// bytes taken so far and counts as success, as WriteFile does on Windows and under Wine; the
// next write goes on from there. The playback worker's stop relies on it. Exactly the bytes
// taken arrive once the far end reads.
TEST_F(SerialPortPairTest, WriteTimeoutEndsAWriteThatTheFarEndHoldsUp) {
    const SerialTimeouts timeouts{0, 0, 0, 0, 100};
    ASSERT_TRUE(port_.setTimeouts(&timeouts));
    constexpr std::uint32_t kBlock = 64 * 1024;
    std::vector<std::uint8_t> block(kBlock);
    std::uint64_t taken = 0;
    long long shortWriteMs = -1;
    for (int i = 0; i < 100 && shortWriteMs < 0; ++i) {  // up to 6.4 MB
        for (std::uint32_t j = 0; j < kBlock; ++j)
            block[j] = static_cast<std::uint8_t>((taken + j) % 251);
        std::uint32_t written = 0;
        const auto start = TestClock::now();
        ASSERT_TRUE(port_.write(block.data(), kBlock, &written)) << port_.errorText();
        ASSERT_LE(written, kBlock);
        if (written < kBlock) shortWriteMs = msSince(start);
        taken += written;
    }
    ASSERT_GE(shortWriteMs, 0) << taken << " bytes were taken and no write ended short";
    EXPECT_LE(shortWriteMs, 1000);
    std::printf("[ measured ] the pair took %llu bytes; the short write ended after %lld ms\n",
                static_cast<unsigned long long>(taken), shortWriteMs);

    std::vector<std::uint8_t> received = readUpTo(device_, taken, 20s);
    EXPECT_EQ(received.size(), taken);
    EXPECT_TRUE(readUpTo(device_, 1, 300ms).empty()) << "more arrived than was taken";
    bool inOrder = true;
    for (std::size_t k = 0; k < received.size() && inOrder; ++k)
        inOrder = received[k] == static_cast<std::uint8_t>(k % 251);
    EXPECT_TRUE(inOrder);
}

TEST_F(SerialPortPairTest, OpeningAgainClosesTheOldHandleFirst) {
    ASSERT_TRUE(port_.open(portPath(), 9600, 8, Parity::None, StopBits::One)) << port_.errorText();
    ASSERT_TRUE(writeAll(port_, {'o', 'k'}));
    EXPECT_EQ(readUpTo(device_, 2), (std::vector<std::uint8_t>{'o', 'k'}));
}

TEST_F(SerialPortPairTest, PortInUseCannotBeOpenedTwice) {
    std::string why;
    if (!secondOpenIsRefused(&why)) GTEST_SKIP() << why;
    SerialPort second;
    EXPECT_FALSE(second.open(portPath(), 115200, 8, Parity::None, StopBits::One));
    EXPECT_FALSE(second.isOpen());
    EXPECT_STRNE(second.errorText(), "");
    // The refused open must not disturb the owner, and the port is free again once it closes.
    ASSERT_TRUE(writeAll(port_, {'!'}));
    EXPECT_EQ(readUpTo(device_, 1), std::vector<std::uint8_t>{'!'});
    port_.close();
    EXPECT_TRUE(second.open(portPath(), 115200, 8, Parity::None, StopBits::One)) << second.errorText();
}

TEST_F(SerialPortPairTest, ReadFailsSoonAfterTheDeviceGoesAway) {
    device_.close();
    if (!pair_.stop()) GTEST_SKIP() << "the far end of this pair cannot be ended from here";
    ASSERT_TRUE(port_.setTimeouts(&kRecordingTimeouts));
    std::uint8_t buffer[255];
    std::uint32_t n = 0;
    auto start = TestClock::now();
    bool failed = false;
    while (!failed && msSince(start) < 2000) failed = !port_.read(buffer, sizeof buffer, &n);
    EXPECT_TRUE(failed) << "reads kept succeeding for 2 s after the hang-up";
    EXPECT_STRNE(port_.errorText(), "");
}
