#include "conversation/ModbusFrame.h"

#include "conversation/CheckValue.h"
#include "conversation/HexDigits.h"

namespace {

DecodedFrame frameOf(std::span<const std::uint8_t> content, bool checkMatches) {
    DecodedFrame decoded;
    decoded.kind = checkMatches ? DecodedFrame::Kind::Good : DecodedFrame::Kind::WrongCheck;
    decoded.frame.unit = content[0];
    decoded.frame.function = content[1];
    decoded.frame.data.assign(content.begin() + 2, content.end());
    return decoded;
}

DecodedFrame decodeRtu(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 4 || bytes.size() > 256) return {};
    const std::span<const std::uint8_t> content = bytes.first(bytes.size() - 2);
    const std::uint16_t crc = crc16Modbus(content);
    const bool matches = bytes[bytes.size() - 2] == (crc & 0xFF) && bytes.back() == crc >> 8;
    return frameOf(content, matches);
}

DecodedFrame decodeAscii(std::span<const std::uint8_t> bytes) {
    // ':', at least unit, function and LRC as hex pairs, "\r\n".
    if (bytes.size() < 9 || bytes.size() > kMaxModbusFrameBytes || bytes[0] != ':' ||
        !endsAsciiFrame(bytes) || (bytes.size() - 3) % 2 != 0)
        return {};
    std::vector<std::uint8_t> content;
    for (std::size_t at = 1; at + 2 < bytes.size(); at += 2) {
        const int high = hexDigitValue(bytes[at]), low = hexDigitValue(bytes[at + 1]);
        if (high < 0 || low < 0) return {};
        content.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    const std::uint8_t lrc = content.back();
    content.pop_back();
    return frameOf(content, lrc8(content) == lrc);
}

}  // namespace

DecodedFrame decodeModbusFrame(ModbusFraming framing, std::span<const std::uint8_t> bytes) {
    return framing == ModbusFraming::Rtu ? decodeRtu(bytes) : decodeAscii(bytes);
}

std::vector<std::uint8_t> encodeModbusFrame(ModbusFraming framing, const ModbusFrame& frame) {
    std::vector<std::uint8_t> content{frame.unit, frame.function};
    content.insert(content.end(), frame.data.begin(), frame.data.end());
    if (framing == ModbusFraming::Rtu) {
        const std::uint16_t crc = crc16Modbus(content);
        content.push_back(static_cast<std::uint8_t>(crc & 0xFF));
        content.push_back(static_cast<std::uint8_t>(crc >> 8));
        return content;
    }
    content.push_back(lrc8(content));
    std::vector<std::uint8_t> text{':'};
    for (const std::uint8_t byte : content) {
        text.push_back(static_cast<std::uint8_t>(kUpperHexDigits[byte >> 4]));
        text.push_back(static_cast<std::uint8_t>(kUpperHexDigits[byte & 0x0F]));
    }
    text.push_back('\r');
    text.push_back('\n');
    return text;
}

std::optional<std::size_t> rtuRequestLength(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) return std::nullopt;
    const std::uint8_t function = bytes[1];
    if (function >= 1 && function <= 6) return 8;
    // Unit, function, address, quantity, byte count: the count says how much follows.
    if ((function == 15 || function == 16) && bytes.size() >= 7) return 9 + std::size_t{bytes[6]};
    return std::nullopt;
}

bool endsAsciiFrame(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[bytes.size() - 2] == '\r' && bytes.back() == '\n';
}
