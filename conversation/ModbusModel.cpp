#include "conversation/ModbusModel.h"

#include <array>

namespace {

constexpr std::array<std::string_view, 4> kTableNames{"coil", "discrete_input", "holding", "input"};

}  // namespace

std::string_view modbusTableName(ModbusTable table) {
    return kTableNames[static_cast<std::size_t>(table)];
}

std::optional<ModbusTable> modbusTableNamed(std::string_view name) {
    for (std::size_t i = 0; i < kTableNames.size(); ++i)
        if (kTableNames[i] == name) return static_cast<ModbusTable>(i);
    return std::nullopt;
}

bool holdsBits(ModbusTable table) {
    return table == ModbusTable::Coil || table == ModbusTable::DiscreteInput;
}

void appendValue(std::vector<std::uint16_t>& values, std::uint16_t value) {
    if (!values.empty() && values.back() == value) return;
    if (values.size() < kMaxValuesPerPlace) {
        values.push_back(value);
    } else if (values[values.size() - 2] == value) {
        values.pop_back();  // back to the value before the replaced last: no two equal in a row
    } else {
        values.back() = value;
    }
}
