// The window's place as the settings keep it, and which stored values are taken at start-up.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "app/WindowPosition.h"

TEST(WindowPosition, RoundTripsInTheStoredByteOrder) {
    const WindowPosition position{-1288, 2, 0x12345678, 0};
    const std::vector<std::uint8_t> bytes = encodeWindowPosition(position);
    const std::vector<std::uint8_t> expected{0xF8, 0xFA, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00,
                                             0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(decodeWindowPosition(bytes), position);
}

TEST(WindowPosition, ValuesOfAnotherLengthOrAnUnsetCornerAreNotTaken) {
    const std::vector<std::uint8_t> whole = encodeWindowPosition({10, 20, 300, 400});
    for (std::size_t length : {0u, 8u, 15u, 17u}) {
        std::vector<std::uint8_t> bytes = whole;
        bytes.resize(length);
        EXPECT_FALSE(decodeWindowPosition(bytes).has_value()) << length;
    }
    constexpr std::int32_t kUnset = static_cast<std::int32_t>(0x80000000u);
    EXPECT_FALSE(decodeWindowPosition(encodeWindowPosition({kUnset, 20, 300, 400})));
    EXPECT_FALSE(decodeWindowPosition(encodeWindowPosition({10, kUnset, 300, 400})));
    // Only the corner is checked: the size is read only for a window that can be sized.
    EXPECT_TRUE(decodeWindowPosition(encodeWindowPosition({10, 20, kUnset, -5})));
}
