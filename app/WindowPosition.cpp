#include "app/WindowPosition.h"

namespace {

constexpr std::size_t kEncodedSize = 16;
constexpr std::int32_t kUnsetPosition = static_cast<std::int32_t>(0x80000000u);

std::int32_t readInt32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                     static_cast<std::uint32_t>(bytes[3]) << 24);
}

void appendInt32(std::vector<std::uint8_t>& bytes, std::int32_t value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
    }
}

}  // namespace

std::vector<std::uint8_t> encodeWindowPosition(const WindowPosition& position) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kEncodedSize);
    for (std::int32_t value : {position.left, position.top, position.width, position.height}) {
        appendInt32(bytes, value);
    }
    return bytes;
}

std::optional<WindowPosition> decodeWindowPosition(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kEncodedSize) return std::nullopt;
    const WindowPosition position{readInt32(&bytes[0]), readInt32(&bytes[4]), readInt32(&bytes[8]),
                                  readInt32(&bytes[12])};
    if (position.left == kUnsetPosition || position.top == kUnsetPosition) return std::nullopt;
    return position;
}
