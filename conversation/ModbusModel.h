#pragma once

#include <bitset>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "conversation/ModbusFrame.h"

// What a Modbus slave holds, learned from a recording or read from a map: its units, the
// functions each answers, how long each took to answer, and the values at each address.

enum class ModbusTable : std::uint8_t { Coil, DiscreteInput, HoldingRegister, InputRegister };

// As a map names the tables: "coil", "discrete_input", "holding", "input".
std::string_view modbusTableName(ModbusTable table);
std::optional<ModbusTable> modbusTableNamed(std::string_view name);
// Coils and discrete inputs hold bits (0 or 1); the registers 16-bit values.
bool holdsBits(ModbusTable table);

struct ModbusPlace {
    std::uint8_t unit = 0;
    ModbusTable table = ModbusTable::Coil;
    std::uint16_t address = 0;  // as the protocol numbers it, from 0
    auto operator<=>(const ModbusPlace&) const = default;
};

struct ModbusUnit {
    std::bitset<256> functions;  // the function codes it answers
    // The answer time per function, in microseconds; a function without one answers at once.
    std::map<std::uint8_t, std::uint64_t> delayMicros;
    bool operator==(const ModbusUnit&) const = default;
};

// The values an address had, in order, never two equal ones in a row. At most
// kMaxValuesPerPlace: past that the first ones are kept and the last is replaced by the newest,
// so the memory follows the addresses, not the length of the recording.
inline constexpr std::size_t kMaxValuesPerPlace = 256;
void appendValue(std::vector<std::uint16_t>& values, std::uint16_t value);

// The units a slave answers as: 1 to 247 (0 is a broadcast, the rest are reserved).
inline constexpr std::uint8_t kFirstModbusUnit = 1, kLastModbusUnit = 247;

struct ModbusModel {
    ModbusFraming framing = ModbusFraming::Rtu;
    std::map<std::uint8_t, ModbusUnit> units;
    std::map<ModbusPlace, std::vector<std::uint16_t>> values;  // each with one value or more
    bool operator==(const ModbusModel&) const = default;
};
