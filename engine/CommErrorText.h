#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The longest error text a port keeps, in characters, without the terminating zero.
inline constexpr std::size_t kErrorTextMaxLength = 254;

// A port's pending line errors (the ClearCommError mask) as
// "CommMask:0x%08X :" followed by one name per known bit, in a fixed order. Bits without a name
// appear only in the number.
std::string commMaskText(std::uint32_t mask);

// Copies text into a port's error text buffer, cut to kErrorTextMaxLength, always terminated.
void storeErrorText(char (&destination)[256], std::string_view text);
