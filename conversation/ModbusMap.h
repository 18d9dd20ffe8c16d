#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "conversation/ModbusModel.h"
#include "engine/Failure.h"

// A Modbus map: the values of a slave's places as CSV that people edit. The header row is
// "unit,table,address,value"; then a row per value: unit 1 to 247, table coil, discrete_input,
// holding or input, address from 0 as the protocol numbers it, value 0 or 1 for coils and
// discrete inputs, 0 to 65535 for registers, all in decimal. A place that changed has a row per
// value, in order. Lines starting with '#' and blank lines are passed over; CRLF line ends and
// a leading byte order mark are taken too.

// The first mistake of a map: its line (from 1) and what is wrong, for "MAP.csv:LINE: TEXT".
struct ModbusMapMistake {
    std::size_t line = 0;
    std::string text;
};

struct ModbusMapReading {
    ModbusModel model;  // RTU, each unit answering its tables' functions at once
    std::optional<ModbusMapMistake> mistake;
};

std::string modbusMapText(const ModbusModel& model);
ModbusMapReading readModbusMap(std::string_view text);

// The map written to, or read from, a file. A reading's mistakes are in the reading; the
// failure is the file's (it would not open, or reading or writing it failed).
Failure saveModbusMap(const std::string& path, const ModbusModel& model);
Failure loadModbusMap(const std::string& path, ModbusMapReading& reading);

// The map's places over the learned model's: the map's values win per place, units and
// functions are those of both, the answer times and framing the learned model's.
ModbusModel mergeModbusModels(const ModbusModel& map, const ModbusModel& learned);
