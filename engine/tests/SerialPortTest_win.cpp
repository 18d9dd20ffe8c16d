#include <gtest/gtest.h>
#include <windows.h>

#include "engine/tests/SerialPortTestSupport.h"

namespace {

std::string systemText(DWORD code) {
    char text[256] = {};
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                        0, text, 255, nullptr)) {
        return {};
    }
    return text;
}

bool runningUnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace

std::string missingPortPath() { return SerialPort::devicePath("COM199"); }
std::string systemTextForMissingPort() { return systemText(ERROR_FILE_NOT_FOUND); }

bool secondOpenIsRefused(std::string* why) {
    if (!runningUnderWine()) return true;
    *why = "Wine does not refuse a second open of a serial port";
    return false;
}

bool firstBytesEndARead(std::string* why) {
    if (!runningUnderWine()) return true;
    *why = "Wine waits for the whole total timeout even when bytes are there";
    return false;
}

TEST(SerialPortWin, DevicePathHasTheDevicePrefix) {
    EXPECT_EQ(SerialPort::devicePath("COM12"), "\\\\.\\COM12");
}

TEST(SerialPortWin, ErrorTextWithNoErrorIsTheSystemsTextForSuccess) {
    SerialPort port;
    std::string expected = systemText(ERROR_SUCCESS);
    ASSERT_FALSE(expected.empty());
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(std::string(port.errorText()), expected);
}

// Wine refuses 9 data bits as Windows does; the failure must leave nothing open behind.
TEST_F(SerialPortPairTest, NineDataBitsAreRefusedBySetCommState) {
    port_.close();
    SerialPort refused;
    EXPECT_FALSE(refused.open(portPath(), 115200, 9, Parity::None, StopBits::One));
    EXPECT_FALSE(refused.isOpen());
    EXPECT_STRNE(refused.errorText(), "");
    EXPECT_TRUE(port_.open(portPath(), 115200, 8, Parity::None, StopBits::One)) << port_.errorText();
}
