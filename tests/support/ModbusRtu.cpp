#include "tests/support/ModbusRtu.h"

namespace modbus_rtu {

std::uint16_t crc16(const std::uint8_t* bytes, std::size_t count) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
    }
    return crc;
}

std::vector<std::uint8_t> withCrc(std::vector<std::uint8_t> frame) {
    const std::uint16_t crc = crc16(frame.data(), frame.size());
    frame.push_back(static_cast<std::uint8_t>(crc));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

bool crcMatches(const std::vector<std::uint8_t>& frame) {
    if (frame.size() < 3) return false;
    const std::uint16_t crc = crc16(frame.data(), frame.size() - 2);
    return frame[frame.size() - 2] == static_cast<std::uint8_t>(crc) &&
           frame.back() == static_cast<std::uint8_t>(crc >> 8);
}

namespace {

void putWord(std::vector<std::uint8_t>& frame, std::uint16_t word) {
    frame.push_back(static_cast<std::uint8_t>(word >> 8));
    frame.push_back(static_cast<std::uint8_t>(word));
}

// The shape of most requests, and of the answers to writes: an address and a count or value.
std::vector<std::uint8_t> withTwoWords(std::uint8_t unit, std::uint8_t function,
                                       std::uint16_t first, std::uint16_t second) {
    std::vector<std::uint8_t> frame{unit, function};
    putWord(frame, first);
    putWord(frame, second);
    return withCrc(std::move(frame));
}

}  // namespace

std::vector<std::uint8_t> readRegistersQuery(std::uint8_t unit, std::uint8_t function,
                                             std::uint16_t first, std::uint16_t count) {
    return withTwoWords(unit, function, first, count);
}

std::vector<std::uint8_t> readRegistersResponse(std::uint8_t unit, std::uint8_t function,
                                                const std::vector<std::uint16_t>& values) {
    std::vector<std::uint8_t> frame{unit, function, static_cast<std::uint8_t>(values.size() * 2)};
    for (std::uint16_t value : values) putWord(frame, value);
    return withCrc(std::move(frame));
}

std::vector<std::uint8_t> readHoldingRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                    std::uint16_t count) {
    return readRegistersQuery(unit, kReadHoldingRegisters, first, count);
}

std::vector<std::uint8_t> readHoldingRegistersResponse(std::uint8_t unit,
                                                       const std::vector<std::uint16_t>& values) {
    return readRegistersResponse(unit, kReadHoldingRegisters, values);
}

std::vector<std::uint8_t> writeSingleRegister(std::uint8_t unit, std::uint16_t address,
                                              std::uint16_t value) {
    return withTwoWords(unit, kWriteSingleRegister, address, value);
}

std::vector<std::uint8_t> writeMultipleRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                      const std::vector<std::uint16_t>& values) {
    std::vector<std::uint8_t> frame{unit, kWriteMultipleRegisters};
    putWord(frame, first);
    putWord(frame, static_cast<std::uint16_t>(values.size()));
    frame.push_back(static_cast<std::uint8_t>(values.size() * 2));
    for (std::uint16_t value : values) putWord(frame, value);
    return withCrc(std::move(frame));
}

std::vector<std::uint8_t> writeMultipleRegistersResponse(std::uint8_t unit, std::uint16_t first,
                                                         std::uint16_t count) {
    return withTwoWords(unit, kWriteMultipleRegisters, first, count);
}

std::vector<std::uint8_t> exceptionResponse(std::uint8_t unit, std::uint8_t function,
                                            std::uint8_t code) {
    return withCrc({unit, static_cast<std::uint8_t>(function | 0x80), code});
}

}  // namespace modbus_rtu
