#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Modbus RTU frames as a master and a slave put them on the line, for tests that need a device
// that answers requests: address, function, data, then the CRC-16 (low byte first).
namespace modbus_rtu {

inline constexpr std::uint8_t kReadHoldingRegisters = 0x03;

// CRC-16/MODBUS: polynomial 0xA001 (reflected), starting at 0xFFFF.
std::uint16_t crc16(const std::uint8_t* bytes, std::size_t count);
// The frame with its CRC appended.
std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> frame);
bool crcMatches(const std::vector<std::uint8_t>& frame);

std::vector<std::uint8_t> readHoldingRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                    std::uint16_t count);
std::vector<std::uint8_t> readHoldingRegistersResponse(std::uint8_t unit,
                                                       const std::vector<std::uint16_t>& values);

}  // namespace modbus_rtu
