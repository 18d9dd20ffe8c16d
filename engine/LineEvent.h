#pragma once

#include <cstdint>

#include "engine/DeviceSettings.h"

// The control lines of a serial line as one byte, with the bits conversation files keep them in
// (each data packet's control-line byte). A port that cannot see a line leaves its bit clear.
namespace control_line {
inline constexpr std::uint8_t kCts = 0x01;   // from the device
inline constexpr std::uint8_t kDcd = 0x02;   // from the device
inline constexpr std::uint8_t kDsr = 0x04;   // from the device
inline constexpr std::uint8_t kRts = 0x08;   // from the host
inline constexpr std::uint8_t kDtr = 0x10;   // from the host
inline constexpr std::uint8_t kRing = 0x20;  // from the device
inline constexpr std::uint8_t kHostLines = kRts | kDtr;
inline constexpr std::uint8_t kDeviceLines = kCts | kDcd | kDsr | kRing;
}  // namespace control_line

// What a serial line did beside its bytes.
enum class LineEventKind : std::uint8_t {
    ControlLines,  // a control line changed: controlLines holds them all after the change
    BreakStart,    // the sender holds the line in break
    BreakEnd,
    FramingError,  // a byte arrived with a bad stop bit
    ParityError,   // a byte arrived with a bad parity bit
    LineSettings,  // the sender asked for another speed or framing: settings holds it
    DataLost,      // the port was away (an adapter unplugged) for awayMicros: nothing was heard
};

// One such event. Who did it (host or device) is the caller's to know, as for bytes.
struct LineEvent {
    LineEventKind kind = LineEventKind::ControlLines;
    std::uint8_t controlLines = 0;
    // For LineSettings: the speed, data bits, parity and stop bits asked for; 0 (or the
    // defaults) where the sender left one as it was.
    std::int32_t speed = 0;
    std::int32_t dataBits = 0;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    // For DataLost: how long the port was away; 0 when not known.
    std::uint64_t awayMicros = 0;
    bool operator==(const LineEvent&) const = default;
};
