#pragma once

#include <cstdint>
#include <span>

// Check values that serial protocols end their frames with.

// CRC-16/MODBUS: polynomial 0x8005 reflected, starting at 0xFFFF; sent low byte first.
std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes);
// Modbus ASCII's LRC: the two's complement of the bytes' sum, modulo 256.
std::uint8_t lrc8(std::span<const std::uint8_t> bytes);
