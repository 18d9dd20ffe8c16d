#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The window's place as kept in the settings (section "Window", binary value "Position"): left,
// top, width and height, each four bytes, least significant first.
struct WindowPosition {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;

    bool operator==(const WindowPosition&) const = default;
};

std::vector<std::uint8_t> encodeWindowPosition(const WindowPosition& position);

// Nothing when the value is not sixteen bytes long, or when its left or top holds the "unset"
// mark (the lowest 32-bit number): the window then keeps the place the system gives it.
std::optional<WindowPosition> decodeWindowPosition(const std::vector<std::uint8_t>& bytes);
