#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/SerialLineFormat_posix.h"
#include "engine/SerialPortSpeed.h"
#include "engine/tests/SerialPortTestSupport.h"

std::string missingPortPath() { return SerialPort::devicePath("veltrane-no-such-port"); }
std::string systemTextForMissingPort() { return std::strerror(ENOENT); }
bool secondOpenIsRefused(std::string*) { return true; }
bool firstBytesEndARead(std::string*) { return true; }

TEST(SerialPortPosix, DevicePathAddsDevOnlyToBareNames) {
    EXPECT_EQ(SerialPort::devicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::devicePath("/tmp/pair/ttyA"), "/tmp/pair/ttyA");
    EXPECT_EQ(SerialPort::devicePath("pts/3"), "pts/3");
}

TEST(SerialLineFormat, DcbNumbersMapOntoTermiosBits) {
    struct Case {
        std::int32_t dataBits, parity, stopBits;
        tcflag_t flags;
    };
    const Case cases[] = {
        {8, 0, 0, CS8},
        {7, 2, 0, CS7 | PARENB},
        {8, 1, 2, CS8 | PARENB | PARODD | CSTOPB},
        {6, 3, 0, CS6 | PARENB | PARODD | CMSPAR},  // mark
        {8, 4, 0, CS8 | PARENB | CMSPAR},           // space
        {5, 0, 1, CS5 | CSTOPB},                    // one and a half
    };
    for (const Case& c : cases) {
        tcflag_t flags = 0;
        std::string why;
        EXPECT_TRUE(lineFormatFlags(c.dataBits, Parity{c.parity}, StopBits{c.stopBits}, &flags, &why)) << why;
        EXPECT_EQ(flags, c.flags) << c.dataBits << " " << c.parity << " " << c.stopBits;
        EXPECT_EQ(flags & ~lineFormatMask(), 0u);
    }
}

// Reads the settings back through a descriptor of our own (root is not kept out by TIOCEXCL).
// A pseudo-terminal keeps speed and modes but always reports 8 bits without parity.
TEST_F(SerialPortPairTest, SpeedAndRawModeReachTheTerminal) {
    int fd = ::open(pair_.portName().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0) << std::strerror(errno);
    for (std::int32_t wanted : {9600, 115200, 14400, 56000, 128000, 256000}) {
        ASSERT_TRUE(port_.open(portPath(), wanted, 8, Parity::None, StopBits::One)) << port_.errorText();
        std::uint32_t speed = 0;
        ASSERT_EQ(readLineSpeed(fd, &speed), 0);
        EXPECT_EQ(speed, static_cast<std::uint32_t>(wanted));
    }
    termios applied{};
    ASSERT_EQ(tcgetattr(fd, &applied), 0);
    EXPECT_EQ(applied.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(applied.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(applied.c_iflag & (IXON | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(applied.c_oflag & OPOST, 0u);
    ::close(fd);
}

TEST_F(SerialPortPairTest, RefusedSettingsFailWithAReasonAndLeaveThePortFree) {
    struct Refused {
        std::int32_t speed, dataBits, parity, stopBits;
        const char* reason;
    };
    const Refused cases[] = {
        {115200, 9, 0, 0, "Data bits must be 5 to 8, not 9"},
        {115200, 8, 5, 0, "Parity must be 0 (none) to 4 (space), not 5"},
        {115200, 8, 0, 1, "One and a half stop bits need 5 data bits, not 8"},
        {115200, 8, 0, 3, "Stop bits must be 0 (one), 1 (one and a half) or 2 (two), not 3"},
        {0, 8, 0, 0, "Speed must be above 0 bits per second, not 0"},
    };
    port_.close();
    for (const Refused& c : cases) {
        SerialPort refused;
        EXPECT_FALSE(refused.open(portPath(), c.speed, c.dataBits, Parity{c.parity}, StopBits{c.stopBits}));
        EXPECT_FALSE(refused.isOpen());
        EXPECT_STREQ(refused.errorText(), c.reason);
        // A failed open that kept its descriptor would still hold the lock.
        EXPECT_TRUE(port_.open(portPath(), 115200, 8, Parity::None, StopBits::One))
            << c.reason << ": " << port_.errorText();
        port_.close();
    }
}
