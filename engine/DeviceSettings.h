#pragma once

#include <cstdint>
#include <string>

class Profile;

// Parity and stop bits carry the numbers of the Win32 port configuration record, which are also
// the values stored in the settings and handed to the port unchanged. A stored value outside the
// named ones is kept as it is (the port then refuses it).
enum class Parity : std::int32_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::int32_t { One = 0, OneAndAHalf = 1, Two = 2 };

inline constexpr const char* kDefaultPort = "COM1";
inline constexpr std::int32_t kDefaultSpeed = 9600;
inline constexpr std::int32_t kDefaultDataBits = 8;
inline constexpr Parity kDefaultParity = Parity::None;
inline constexpr StopBits kDefaultStopBits = StopBits::One;

// Which serial port to use and how to configure it.
struct DeviceSettings {
    std::string port = kDefaultPort;
    std::int32_t speed = kDefaultSpeed;
    std::int32_t dataBits = kDefaultDataBits;
    Parity parity = kDefaultParity;
    StopBits stopBits = kDefaultStopBits;
};

// Reads section "Device" in the order Port, Speed, Parity, Stopbits, Databits. A speed of 0 or
// less becomes the default speed; the other values are taken as stored.
DeviceSettings loadDeviceSettings(Profile& profile);

// Writes section "Device" in the order Port, Speed, Parity, Databits, Stopbits.
void storeDeviceSettings(Profile& profile, const DeviceSettings& settings);

// The port of the device when the program sits between a program on `port` and its device,
// with the same line settings; empty for none (the default). Value "DevicePort" of section
// "Device", kept apart so that the values above stay as they were.
std::string loadDevicePort(Profile& profile);
void storeDevicePort(Profile& profile, const std::string& devicePort);

// Whether a recording or a playback of a serial file waits for a port that went away (an adapter
// unplugged) and goes on once it is back, rather than ending. Value "Reconnect" of section
// "Device": on unless stored as 0.
bool loadReconnect(Profile& profile);
void storeReconnect(Profile& profile, bool reconnect);

// "115200 8N1", as a conversation file's header gives a line's settings.
std::string lineSettingsText(const DeviceSettings& settings);
