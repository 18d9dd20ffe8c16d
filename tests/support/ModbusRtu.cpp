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

std::vector<std::uint8_t> readHoldingRegistersQuery(std::uint8_t unit, std::uint16_t first,
                                                    std::uint16_t count) {
    return withCrc({unit, kReadHoldingRegisters, static_cast<std::uint8_t>(first >> 8),
                    static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(count >> 8),
                    static_cast<std::uint8_t>(count)});
}

std::vector<std::uint8_t> readHoldingRegistersResponse(std::uint8_t unit,
                                                       const std::vector<std::uint16_t>& values) {
    std::vector<std::uint8_t> frame{unit, kReadHoldingRegisters,
                                    static_cast<std::uint8_t>(values.size() * 2)};
    for (std::uint16_t value : values) {
        frame.push_back(static_cast<std::uint8_t>(value >> 8));
        frame.push_back(static_cast<std::uint8_t>(value));
    }
    return withCrc(std::move(frame));
}

}  // namespace modbus_rtu
