#include "conversation/ModbusMap.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr std::string_view kHeader = "unit,table,address,value";

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The functions a unit of a map answers for each table it has.
void addTableFunctions(ModbusUnit& unit, ModbusTable table) {
    switch (table) {
        case ModbusTable::Coil:
            unit.functions.set(1).set(5).set(15);
            break;
        case ModbusTable::DiscreteInput:
            unit.functions.set(2);
            break;
        case ModbusTable::HoldingRegister:
            unit.functions.set(3).set(6).set(16);
            break;
        case ModbusTable::InputRegister:
            unit.functions.set(4);
            break;
    }
}

std::vector<std::string_view> fieldsOf(std::string_view row) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = row.find(',', start);
        fields.push_back(row.substr(start, comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// A decimal number within [low, high], or the words that say why the field is not one.
std::optional<std::uint32_t> numberIn(std::string_view field, const char* what, std::uint32_t low,
                                      std::uint32_t high, const char* range, std::string& error) {
    if (field.empty() || field.find_first_not_of("0123456789") != field.npos) {
        error = std::string(what) + " '" + std::string(field) + "' is not a decimal number";
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (const char c : field.substr(0, 12)) number = number * 10 + static_cast<unsigned>(c - '0');
    if (field.size() > 12 || number < low || number > high) {
        error = std::string(what) + " " + std::string(field) + " is not " + range;
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(number);
}

// One row into the model, or what is wrong with it.
std::string readRow(std::string_view row, ModbusModel& model) {
    const std::vector<std::string_view> fields = fieldsOf(row);
    if (fields.size() != 4) return "expected 4 fields, found " + std::to_string(fields.size());
    std::string error;
    const auto unit = numberIn(trimmed(fields[0]), "unit", kFirstModbusUnit, kLastModbusUnit,
                               "from 1 to 247", error);
    if (!unit) return error;
    const std::string_view tableName = trimmed(fields[1]);
    const auto table = modbusTableNamed(tableName);
    if (!table)
        return "table '" + std::string(tableName) +
               "' is not coil, discrete_input, holding or input";
    const auto address =
        numberIn(trimmed(fields[2]), "address", 0, 65535, "from 0 to 65535", error);
    if (!address) return error;
    const bool bits = holdsBits(*table);
    const char* range = *table == ModbusTable::Coil ? "0 or 1 for a coil"
                        : bits                      ? "0 or 1 for a discrete input"
                                                    : "from 0 to 65535";
    const auto value = numberIn(trimmed(fields[3]), "value", 0, bits ? 1 : 65535, range, error);
    if (!value) return error;

    const auto unitNumber = static_cast<std::uint8_t>(*unit);
    addTableFunctions(model.units[unitNumber], *table);
    appendValue(model.values[{unitNumber, *table, static_cast<std::uint16_t>(*address)}],
                static_cast<std::uint16_t>(*value));
    return {};
}

}  // namespace

std::string modbusMapText(const ModbusModel& model) {
    std::string text(kHeader);
    text += '\n';
    for (const auto& [place, values] : model.values) {
        const std::string start = std::to_string(place.unit) + "," +
                                  std::string(modbusTableName(place.table)) + "," +
                                  std::to_string(place.address) + ",";
        for (const std::uint16_t value : values) text += start + std::to_string(value) + "\n";
    }
    return text;
}

ModbusMapReading readModbusMap(std::string_view text) {
    ModbusMapReading reading;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    bool headerSeen = false;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::string_view content = trimmed(line);
        if (content.empty() || content.front() == '#') continue;
        std::string error;
        if (!headerSeen) {
            headerSeen = true;
            if (content != kHeader) error = "the first row is not " + std::string(kHeader);
        } else {
            error = readRow(content, reading.model);
        }
        if (!error.empty()) {
            reading.mistake = ModbusMapMistake{lineNumber, std::move(error)};
            return reading;
        }
    }
    if (!headerSeen)
        reading.mistake = ModbusMapMistake{lineNumber + 1, "no header row " + std::string(kHeader)};
    return reading;
}

Failure saveModbusMap(const std::string& path, const ModbusModel& model) {
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) return openFailure(Failure::Kind::CreateOutput, path);
    const std::string text = modbusMapText(model);
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fclose(file.release()) != 0)
        return fileFailure(Failure::Kind::WriteOutput, path, lastCLibraryError());
    return {};
}

Failure loadModbusMap(const std::string& path, ModbusMapReading& reading) {
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) return openFailure(Failure::Kind::OpenInput, path);
    std::string text;
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file.get())) > 0;)
        text.append(block, got);
    if (std::ferror(file.get()))
        return fileFailure(Failure::Kind::ReadInput, path, lastCLibraryError());
    reading = readModbusMap(text);
    return {};
}

ModbusModel mergeModbusModels(const ModbusModel& map, const ModbusModel& learned) {
    ModbusModel merged = learned;
    for (const auto& [number, unit] : map.units) merged.units[number].functions |= unit.functions;
    for (const auto& [place, values] : map.values) merged.values[place] = values;
    return merged;
}
