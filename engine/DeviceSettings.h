#pragma once

#include <cstdint>
#include <string>

class Profile;

// Which serial port to use and how to configure it. parity and stopBits are the Win32 DCB
// numbers (parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half,
// 2 two) and are handed to the port unchanged.
struct DeviceSettings {
    std::string port = "COM1";
    std::int32_t speed = 9600;
    std::int32_t dataBits = 8;
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
};

// Reads section "Device" in the order Port, Speed, Parity, Stopbits, Databits. A speed of 0 or
// less becomes 9600; the other values are taken as stored.
DeviceSettings loadDeviceSettings(Profile& profile);

// Writes section "Device" in the order Port, Speed, Parity, Databits, Stopbits.
void storeDeviceSettings(Profile& profile, const DeviceSettings& settings);
