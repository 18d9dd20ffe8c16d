#include "engine/CommErrorText.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct NamedBit {
    std::uint32_t bit;
    const char* name;
};

// The order in which the names are listed, which is not the order of the bits.
constexpr NamedBit kCommErrorBits[] = {
    {0x0010, " CE_BREAK"},    {0x0008, " CE_FRAME"},   {0x0400, " CE_IOE"},
    {0x8000, " CE_MODE"},     {0x0002, " CE_OVERRUN"}, {0x0001, " CE_RXOVER"},
    {0x0004, " CE_RXPARITY"}, {0x0100, " CE_TXFULL"},
};

}  // namespace

std::string commMaskText(std::uint32_t mask) {
    char number[32];
    std::snprintf(number, sizeof number, "CommMask:0x%08X :", static_cast<unsigned>(mask));
    std::string text = number;
    for (const NamedBit& named : kCommErrorBits) {
        if (mask & named.bit) text += named.name;
    }
    return text;
}

void storeErrorText(char (&destination)[256], std::string_view text) {
    std::size_t length = std::min(text.size(), kErrorTextMaxLength);
    std::memcpy(destination, text.data(), length);
    destination[length] = '\0';
}
