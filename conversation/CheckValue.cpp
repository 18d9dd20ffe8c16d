#include "conversation/CheckValue.h"

#include <algorithm>

#include "conversation/HexDigits.h"

namespace {

constexpr CrcParameters kCrc16Modbus{16, 0x8005, 0xFFFF, 0x0000, true, true};
constexpr CrcParameters kCrc16CcittFalse{16, 0x1021, 0xFFFF, 0x0000, false, false};
constexpr CrcParameters kCrc32{32, 0x04C11DB7, 0xFFFFFFFF, 0xFFFFFFFF, true, true};

constexpr NamedCheck kNamedChecks[] = {
    {"crc16-modbus", {CheckMethod::Kind::Crc, kCrc16Modbus, CheckOrder::LowFirst}},
    {"crc16-ccitt-false", {CheckMethod::Kind::Crc, kCrc16CcittFalse, CheckOrder::HighFirst}},
    {"crc32", {CheckMethod::Kind::Crc, kCrc32, CheckOrder::LowFirst}},
    {"lrc", {CheckMethod::Kind::Lrc, {}, CheckOrder::LowFirst}},
    {"lrc-ascii", {CheckMethod::Kind::LrcAscii, {}, CheckOrder::LowFirst}},
    {"xor8", {CheckMethod::Kind::Xor8, {}, CheckOrder::LowFirst}},
    {"sum8", {CheckMethod::Kind::Sum8, {}, CheckOrder::LowFirst}},
    {"nmea", {CheckMethod::Kind::Nmea, {}, CheckOrder::LowFirst}},
};

std::uint64_t widthMask(unsigned width) {
    return width >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << width) - 1;
}

std::uint64_t reflected(std::uint64_t value, unsigned width) {
    std::uint64_t out = 0;
    for (unsigned bit = 0; bit < width; ++bit)
        if (value >> bit & 1) out |= std::uint64_t{1} << (width - 1 - bit);
    return out;
}

// Bit by bit with the register unreflected, so one routine serves every width and every mix
// of refin and refout; frames are short enough that a table would buy nothing.
std::uint64_t crcStep(const CrcParameters& parameters, std::uint64_t crc, std::uint8_t byte) {
    const std::uint64_t top = std::uint64_t{1} << (parameters.width - 1);
    const std::uint64_t mask = widthMask(parameters.width);
    for (int bit = 0; bit < 8; ++bit) {
        const int index = parameters.refin ? bit : 7 - bit;
        const bool in = (byte >> index & 1) != 0;
        const bool out = (crc & top) != 0;
        crc = (crc << 1) & mask;
        if (in != out) crc ^= parameters.poly & mask;
    }
    return crc;
}

std::uint64_t crcFinish(const CrcParameters& parameters, std::uint64_t crc) {
    if (parameters.refout) crc = reflected(crc, parameters.width);
    return (crc ^ parameters.xorout) & widthMask(parameters.width);
}

CheckBytes hexText(std::uint8_t value) {
    CheckBytes text;
    text.bytes[0] = static_cast<std::uint8_t>(kUpperHexDigits[value >> 4]);
    text.bytes[1] = static_cast<std::uint8_t>(kUpperHexDigits[value & 0xF]);
    text.length = 2;
    return text;
}

CheckBytes oneByte(std::uint64_t value) {
    CheckBytes byte;
    byte.bytes[0] = static_cast<std::uint8_t>(value);
    byte.length = 1;
    return byte;
}

}  // namespace

std::uint64_t crcOf(const CrcParameters& parameters, std::span<const std::uint8_t> bytes) {
    std::uint64_t crc = parameters.init & widthMask(parameters.width);
    for (const std::uint8_t byte : bytes) crc = crcStep(parameters, crc, byte);
    return crcFinish(parameters, crc);
}

std::uint16_t crc16Modbus(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(crcOf(kCrc16Modbus, bytes));
}

std::uint16_t crc16CcittFalse(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(crcOf(kCrc16CcittFalse, bytes));
}

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint32_t>(crcOf(kCrc32, bytes));
}

std::uint8_t lrc8(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(-sum8(bytes));
}

std::uint8_t xor8(std::span<const std::uint8_t> bytes) {
    std::uint8_t value = 0;
    for (const std::uint8_t byte : bytes) value ^= byte;
    return value;
}

std::uint8_t sum8(std::span<const std::uint8_t> bytes) {
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : bytes) sum = static_cast<std::uint8_t>(sum + byte);
    return sum;
}

std::size_t CheckMethod::lineLength() const {
    switch (kind) {
        case Kind::Crc:
            return (crc.width + 7) / 8;
        case Kind::LrcAscii:
        case Kind::Nmea:
            return 2;
        default:
            return 1;
    }
}

std::span<const NamedCheck> namedChecks() { return kNamedChecks; }

const CheckMethod* findNamedCheck(std::string_view name) {
    const auto found = std::find_if(std::begin(kNamedChecks), std::end(kNamedChecks),
                                    [name](const NamedCheck& check) { return check.name == name; });
    return found == std::end(kNamedChecks) ? nullptr : &found->method;
}

RunningCheck::RunningCheck(const CheckMethod& method)
    : method_(&method),
      state_(method.kind == CheckMethod::Kind::Crc ? method.crc.init & widthMask(method.crc.width)
                                                   : 0) {}

void RunningCheck::add(std::uint8_t byte) {
    switch (method_->kind) {
        case CheckMethod::Kind::Crc:
            state_ = crcStep(method_->crc, state_, byte);
            break;
        case CheckMethod::Kind::Lrc:
        case CheckMethod::Kind::Sum8:
            state_ = (state_ + byte) & 0xFF;
            break;
        case CheckMethod::Kind::Xor8:
        case CheckMethod::Kind::Nmea:
            state_ ^= byte;
            break;
        case CheckMethod::Kind::LrcAscii: {
            const int digit = hexDigitValue(byte);
            if (digit < 0) valid_ = false;
            if (!valid_) break;
            const auto nibble = static_cast<std::uint8_t>(digit);
            if (halfByte_) state_ = (state_ + (pendingNibble_ << 4 | nibble)) & 0xFF;
            pendingNibble_ = nibble;
            halfByte_ = !halfByte_;
            break;
        }
    }
}

std::optional<CheckBytes> RunningCheck::value() const {
    switch (method_->kind) {
        case CheckMethod::Kind::Crc: {
            const std::uint64_t crc = crcFinish(method_->crc, state_);
            CheckBytes line;
            line.length = method_->lineLength();
            for (std::size_t i = 0; i < line.length; ++i) {
                const std::size_t shift =
                    8 * (method_->order == CheckOrder::LowFirst ? i : line.length - 1 - i);
                line.bytes[i] = static_cast<std::uint8_t>(crc >> shift);
            }
            return line;
        }
        case CheckMethod::Kind::Lrc:
            return oneByte(0x100 - state_);
        case CheckMethod::Kind::Sum8:
        case CheckMethod::Kind::Xor8:
            return oneByte(state_);
        case CheckMethod::Kind::Nmea:
            return hexText(static_cast<std::uint8_t>(state_));
        case CheckMethod::Kind::LrcAscii:
            if (!valid_ || halfByte_) return std::nullopt;
            return hexText(static_cast<std::uint8_t>(0x100 - state_));
    }
    return std::nullopt;
}

std::optional<CheckBytes> checkBytesOf(const CheckMethod& method,
                                       std::span<const std::uint8_t> bytes) {
    RunningCheck running(method);
    for (const std::uint8_t byte : bytes) running.add(byte);
    return running.value();
}
