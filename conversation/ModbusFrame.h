#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// How Modbus frames travel on a serial line. RTU: unit, function, data, then the CRC-16 low byte
// first, a frame ending in a silence. ASCII: ':', every byte as two hex digits, the LRC as two
// more, then "\r\n".
enum class ModbusFraming : std::uint8_t { Rtu, Ascii };

// A frame without its framing and check value.
struct ModbusFrame {
    std::uint8_t unit = 0;
    std::uint8_t function = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const ModbusFrame&) const = default;
};

struct DecodedFrame {
    enum class Kind : std::uint8_t {
        NotAFrame,   // too short, or not the framing's shape (ASCII: no ':', odd or non-hex digits)
        WrongCheck,  // the shape of a frame, but the CRC or LRC does not match
        Good,
    };
    Kind kind = Kind::NotAFrame;
    ModbusFrame frame;  // also filled for WrongCheck, as far as the bytes say
};

// The longest frame the protocol allows: 256 bytes in RTU, 513 characters in ASCII.
inline constexpr std::size_t kMaxModbusFrameBytes = 513;

DecodedFrame decodeModbusFrame(ModbusFraming framing, std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> encodeModbusFrame(ModbusFraming framing, const ModbusFrame& frame);

// The length of a whole RTU request, as its function gives it (functions 1 to 6: 8 bytes; 15 and
// 16: 9 and their byte count), once enough of it has come to tell; nothing for other functions.
std::optional<std::size_t> rtuRequestLength(std::span<const std::uint8_t> bytes);

// ASCII frames end in "\r\n": bytes that do are whole.
bool endsAsciiFrame(std::span<const std::uint8_t> bytes);
