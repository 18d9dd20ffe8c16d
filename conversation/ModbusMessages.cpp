#include "conversation/ModbusMessages.h"

#include <algorithm>

namespace {

std::uint16_t wordAt(const std::vector<std::uint8_t>& data, std::size_t at) {
    return static_cast<std::uint16_t>(data[at] << 8 | data[at + 1]);
}

void putWord(std::vector<std::uint8_t>& data, std::uint16_t word) {
    data.push_back(static_cast<std::uint8_t>(word >> 8));
    data.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

std::size_t bytesForBits(std::size_t count) { return (count + 7) / 8; }

std::vector<std::uint16_t> unpackBits(std::span<const std::uint8_t> packed, std::size_t count) {
    std::vector<std::uint16_t> bits(count);
    for (std::size_t i = 0; i < count; ++i) bits[i] = packed[i / 8] >> (i % 8) & 1;
    return bits;
}

std::vector<std::uint16_t> unpackWords(const std::vector<std::uint8_t>& data, std::size_t from,
                                       std::size_t count) {
    std::vector<std::uint16_t> words(count);
    for (std::size_t i = 0; i < count; ++i) words[i] = wordAt(data, from + 2 * i);
    return words;
}

}  // namespace

std::string modbusFunctionName(std::uint8_t function) {
    switch (function) {
        case 1:
            return "read coils";
        case 2:
            return "read discrete inputs";
        case 3:
            return "read holding registers";
        case 4:
            return "read input registers";
        case 5:
            return "write single coil";
        case 6:
            return "write single register";
        case 15:
            return "write multiple coils";
        case 16:
            return "write multiple registers";
        default:
            return "function " + std::to_string(function);
    }
}

std::optional<ModbusTable> tableOfFunction(std::uint8_t function) {
    switch (function) {
        case 1:
        case 5:
        case 15:
            return ModbusTable::Coil;
        case 2:
            return ModbusTable::DiscreteInput;
        case 3:
        case 6:
        case 16:
            return ModbusTable::HoldingRegister;
        case 4:
            return ModbusTable::InputRegister;
        default:
            return std::nullopt;
    }
}

std::optional<ModbusAccess> readModbusRequest(const ModbusFrame& request) {
    const auto table = tableOfFunction(request.function);
    const std::vector<std::uint8_t>& data = request.data;
    if (!table || data.size() < 4) return std::nullopt;
    ModbusAccess access{*table, request.function > 4, wordAt(data, 0), wordAt(data, 2), {}};
    switch (request.function) {
        case 1:
        case 2:
            if (data.size() != 4 || access.count < 1 || access.count > 2000) return std::nullopt;
            return access;
        case 3:
        case 4:
            if (data.size() != 4 || access.count < 1 || access.count > 125) return std::nullopt;
            return access;
        case 5: {
            // A single write's second word is its value: for a coil, 0xFF00 on and 0 off.
            const std::uint16_t value = access.count;
            if (data.size() != 4 || (value != 0xFF00 && value != 0)) return std::nullopt;
            access.count = 1;
            access.values = {static_cast<std::uint16_t>(value ? 1 : 0)};
            return access;
        }
        case 6:
            if (data.size() != 4) return std::nullopt;
            access.values = {access.count};
            access.count = 1;
            return access;
        case 15:
            if (access.count < 1 || access.count > 1968 || data.size() < 5 ||
                data[4] != bytesForBits(access.count) || data.size() != 5 + std::size_t{data[4]})
                return std::nullopt;
            access.values = unpackBits(std::span(data).subspan(5), access.count);
            return access;
        default:  // 16
            if (access.count < 1 || access.count > 123 || data.size() < 5 ||
                data[4] != 2 * access.count || data.size() != 5 + std::size_t{data[4]})
                return std::nullopt;
            access.values = unpackWords(data, 5, access.count);
            return access;
    }
}

std::optional<std::vector<std::uint16_t>> readAnswerValues(const ModbusAccess& read,
                                                           const ModbusFrame& answer) {
    const std::vector<std::uint8_t>& data = answer.data;
    const std::size_t bytes = holdsBits(read.table) ? bytesForBits(read.count) : 2u * read.count;
    if (data.empty() || data[0] != bytes || data.size() != 1 + bytes) return std::nullopt;
    if (holdsBits(read.table)) return unpackBits(std::span(data).subspan(1), read.count);
    return unpackWords(data, 1, read.count);
}

bool answersWrite(const ModbusFrame& request, const ModbusFrame& answer) {
    if (answer.unit != request.unit || answer.function != request.function) return false;
    if (request.function == 5 || request.function == 6) return answer.data == request.data;
    return request.data.size() >= 4 && answer.data.size() == 4 &&
           std::equal(answer.data.begin(), answer.data.end(), request.data.begin());
}

ModbusFrame readAnswer(const ModbusFrame& request, const ModbusAccess& read,
                       std::span<const std::uint16_t> values) {
    ModbusFrame answer{request.unit, request.function, {}};
    if (holdsBits(read.table)) {
        answer.data.assign(1 + bytesForBits(values.size()), 0);
        for (std::size_t i = 0; i < values.size(); ++i)
            if (values[i]) answer.data[1 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    } else {
        answer.data.push_back(0);
        for (const std::uint16_t value : values) putWord(answer.data, value);
    }
    answer.data[0] = static_cast<std::uint8_t>(answer.data.size() - 1);
    return answer;
}

ModbusFrame writeAnswer(const ModbusFrame& request) {
    ModbusFrame answer = request;
    if (request.function == 15 || request.function == 16) answer.data.resize(4);
    return answer;
}

ModbusFrame exceptionAnswer(const ModbusFrame& request, std::uint8_t code) {
    return {request.unit, static_cast<std::uint8_t>(request.function | 0x80), {code}};
}
