#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// Check values that serial protocols end their frames with.

// A CRC of any width from 1 to 64 bits, in the usual parameters: the polynomial without its top
// bit, the register's start, what is XORed in at the end, and whether input bytes and the result
// are bit-reflected. Every named CRC below is one set of these.
struct CrcParameters {
    unsigned width = 16;
    std::uint64_t poly = 0;
    std::uint64_t init = 0;
    std::uint64_t xorout = 0;
    bool refin = false;
    bool refout = false;
};
std::uint64_t crcOf(const CrcParameters& parameters, std::span<const std::uint8_t> bytes);

// CRC-16/MODBUS: polynomial 0x8005 reflected, starting at 0xFFFF; sent low byte first.
std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes);
// CRC-16/CCITT-FALSE: polynomial 0x1021, starting at 0xFFFF, not reflected; sent high byte first.
std::uint16_t crc16CcittFalse(std::span<const std::uint8_t> bytes);
// CRC-32 as zlib and Ethernet compute it; sent low byte first.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);
// Modbus ASCII's LRC: the two's complement of the bytes' sum, modulo 256.
std::uint8_t lrc8(std::span<const std::uint8_t> bytes);
std::uint8_t xor8(std::span<const std::uint8_t> bytes);
std::uint8_t sum8(std::span<const std::uint8_t> bytes);

// How a check value is computed and how it stands on the line.
enum class CheckOrder : std::uint8_t { LowFirst, HighFirst };
struct CheckMethod {
    enum class Kind : std::uint8_t {
        Crc,
        Lrc,       // one byte
        LrcAscii,  // the LRC of the bytes a hex text spells, written as two hex characters
        Xor8,
        Sum8,
        Nmea,  // the XOR of the characters, written as two hex characters
    };
    Kind kind = Kind::Crc;
    CrcParameters crc;                        // Crc only
    CheckOrder order = CheckOrder::LowFirst;  // Crc only: the order of its bytes on the line

    // Its bytes on the line: 1 to 8.
    std::size_t lineLength() const;
};

struct NamedCheck {
    std::string_view name;  // as a rules file writes it
    CheckMethod method;
};
// crc16-modbus, crc16-ccitt-false, crc32, lrc, lrc-ascii, xor8, sum8, nmea.
std::span<const NamedCheck> namedChecks();
const CheckMethod* findNamedCheck(std::string_view name);

// A check value as it stands on the line. Hex characters are written uppercase.
struct CheckBytes {
    std::array<std::uint8_t, 8> bytes{};
    std::size_t length = 0;
    std::span<const std::uint8_t> view() const { return {bytes.data(), length}; }
};

// A check value taken a byte at a time, so that the values of a run of growing spans cost one
// pass. Small enough to keep one per position.
class RunningCheck {
public:
    explicit RunningCheck(const CheckMethod& method);
    void add(std::uint8_t byte);
    // Of the bytes added so far; none when no value is defined for them (lrc-ascii over an odd
    // count of characters or over one that is no hex digit).
    std::optional<CheckBytes> value() const;

private:
    const CheckMethod* method_;
    std::uint64_t state_;
    std::uint8_t pendingNibble_ = 0;
    bool halfByte_ = false;
    bool valid_ = true;
};

std::optional<CheckBytes> checkBytesOf(const CheckMethod& method,
                                       std::span<const std::uint8_t> bytes);
