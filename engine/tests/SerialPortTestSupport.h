#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/SerialPort.h"
#include "tests/support/SerialDrain.h"
#include "tests/support/SerialPair.h"

// What the shared tests need from the platform they run on (SerialPortTest_<platform>.cpp).
std::string missingPortPath();
std::string systemTextForMissingPort();
bool secondOpenIsRefused(std::string* why);
// Whether a read with an interval of MAXDWORD ends as soon as bytes are there.
bool firstBytesEndARead(std::string* why);

using TestClock = std::chrono::steady_clock;

inline long long msSince(TestClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(TestClock::now() - start).count();
}

inline constexpr SerialTimeouts kRecordingTimeouts{kSerialTimeoutMax, kSerialTimeoutMax, 100, 0, 0};

// Reads with the recording timeouts until `wanted` bytes came or `limit` passed.
inline std::vector<std::uint8_t> readUpTo(SerialPort& port, std::size_t wanted,
                                          std::chrono::milliseconds limit = std::chrono::seconds(3),
                                          std::vector<std::uint32_t>* pieces = nullptr) {
    std::vector<std::uint8_t> got;
    if (!port.setTimeouts(&kRecordingTimeouts)) return got;
    auto start = TestClock::now();
    std::uint8_t buffer[255];
    while (got.size() < wanted && TestClock::now() - start < limit) {
        std::uint32_t n = 0;
        if (!port.read(buffer, sizeof buffer, &n)) break;
        got.insert(got.end(), buffer, buffer + n);
        if (pieces && n > 0) pieces->push_back(n);
    }
    return got;
}

inline bool writeAll(SerialPort& port, const std::vector<std::uint8_t>& bytes) {
    std::uint32_t written = 0;
    return port.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
           written == bytes.size();
}


// Both ends of a pair opened at 115200 8N1: port_ is the program's side, device_ the device's.
class SerialPortPairTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        ASSERT_TRUE(pair_.start(&why)) << why;
        ASSERT_TRUE(port_.open(portPath(), 115200, 8, Parity::None, StopBits::One)) << port_.errorText();
        ASSERT_TRUE(device_.open(SerialPort::devicePath(pair_.devicePortName()), 115200, 8, Parity::None, StopBits::One))
            << device_.errorText();
        drainSerialPort(port_);
        drainSerialPort(device_);
    }

    std::string portPath() const { return SerialPort::devicePath(pair_.portName()); }

    SerialPair pair_;  // first, so that it outlives both ports
    SerialPort port_;
    SerialPort device_;
};
