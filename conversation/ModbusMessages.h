#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conversation/ModbusFrame.h"
#include "conversation/ModbusModel.h"

// The data of the functions that read and write the four tables (1 to 6, 15, 16): what a request
// asks for, what a normal answer carries, and the answers a slave makes.

inline constexpr std::uint8_t kIllegalFunction = 0x01, kIllegalDataAddress = 0x02,
                              kIllegalDataValue = 0x03;

// "read holding registers", "write single coil", ..., "function 43" for the rest.
std::string modbusFunctionName(std::uint8_t function);
// The table a function reads or writes; nothing for functions outside 1 to 6, 15, 16.
std::optional<ModbusTable> tableOfFunction(std::uint8_t function);

// What a request reads or writes: count places from address on.
struct ModbusAccess {
    ModbusTable table = ModbusTable::Coil;
    bool write = false;
    std::uint16_t address = 0;
    std::uint16_t count = 0;
    std::vector<std::uint16_t> values;  // a write's values, one per place (0 or 1 for a coil)
    // Whether every place lies within the 65536 addresses.
    bool withinAddresses() const { return address + std::uint32_t{count} <= 65536; }
};

// The access a request of functions 1 to 6, 15, 16 asks for; nothing when its data is not of the
// function's shape or its quantity beyond what Modbus allows (the request is then of an illegal
// data value).
std::optional<ModbusAccess> readModbusRequest(const ModbusFrame& request);
// The values a normal answer to this read carries, in address order; nothing when the answer is
// not one (another function, an exception, another length).
std::optional<std::vector<std::uint16_t>> readAnswerValues(const ModbusAccess& read,
                                                           const ModbusFrame& answer);
// Whether the answer is the normal answer to this write request.
bool answersWrite(const ModbusFrame& request, const ModbusFrame& answer);

// The normal answer to a read: its values packed as the function packs them.
ModbusFrame readAnswer(const ModbusFrame& request, const ModbusAccess& read,
                       std::span<const std::uint16_t> values);
// The normal answer to a write: the request again for 5 and 6; unit, function, address and
// quantity for 15 and 16.
ModbusFrame writeAnswer(const ModbusFrame& request);
ModbusFrame exceptionAnswer(const ModbusFrame& request, std::uint8_t code);
