#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Modbus RTU frames as a master and a slave put them on the line, for tests that need a device
// that answers requests: address, function, data, then the CRC-16 (low byte first).
namespace modbus_rtu {

inline constexpr std::uint8_t kReadHoldingRegisters = 0x03;
inline constexpr std::uint8_t kReadInputRegisters = 0x04;
inline constexpr std::uint8_t kWriteSingleRegister = 0x06;
inline constexpr std::uint8_t kWriteMultipleRegisters = 0x10;
inline constexpr std::uint8_t kIllegalDataAddress = 0x02;

// CRC-16/MODBUS: polynomial 0xA001 (reflected), starting at 0xFFFF.
std::uint16_t crc16(const std::uint8_t* bytes, std::size_t count);
// The frame with its CRC appended.
std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> frame);
bool crcMatches(const std::vector<std::uint8_t>& frame);

std::vector<std::uint8_t> readHoldingRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                    std::uint16_t count);
std::vector<std::uint8_t> readHoldingRegistersResponse(std::uint8_t unit,
                                                       const std::vector<std::uint16_t>& values);
// A read of registers by either function, 3 (holding) or 4 (input), and its answer.
std::vector<std::uint8_t> readRegistersQuery(std::uint8_t unit, std::uint8_t function,
                                             std::uint16_t first, std::uint16_t count);
std::vector<std::uint8_t> readRegistersResponse(std::uint8_t unit, std::uint8_t function,
                                                const std::vector<std::uint16_t>& values);
// Function 6: the slave answers with the request itself.
std::vector<std::uint8_t> writeSingleRegister(std::uint8_t unit, std::uint16_t address,
                                              std::uint16_t value);
// Function 16, and its answer: the first address and the count.
std::vector<std::uint8_t> writeMultipleRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                      const std::vector<std::uint16_t>& values);
std::vector<std::uint8_t> writeMultipleRegistersResponse(std::uint8_t unit, std::uint16_t first,
                                                         std::uint16_t count);
// The function with its high bit set, then the exception code.
std::vector<std::uint8_t> exceptionResponse(std::uint8_t unit, std::uint8_t function,
                                            std::uint8_t code);

}  // namespace modbus_rtu
