#include "dataview/DataRowText.h"

#include <cstdio>

std::string formatTenthsRowTime(std::uint64_t tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02u.%u", static_cast<unsigned long long>(tenths / 600),
                  static_cast<unsigned>(tenths / 10 % 60), static_cast<unsigned>(tenths % 10));
    return text;
}

std::string formatMicrosRowTime(std::uint64_t micros) {
    char text[40];
    std::snprintf(
        text, sizeof text, "%llu:%02u.%06u", static_cast<unsigned long long>(micros / 60'000'000),
        static_cast<unsigned>(micros / 1'000'000 % 60), static_cast<unsigned>(micros % 1'000'000));
    return text;
}

std::string formatRowHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    const std::size_t shown = bytes.size() < kDataRowShownBytes ? bytes.size() : kDataRowShownBytes;
    std::string text;
    text.reserve(shown * 3 + 3);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    if (shown < bytes.size()) text += " ...";
    return text;
}

std::string formatRowAscii(std::span<const std::uint8_t> bytes) {
    const std::size_t shown = bytes.size() < kDataRowShownBytes ? bytes.size() : kDataRowShownBytes;
    std::string text;
    text.reserve(shown + 3);
    for (std::size_t i = 0; i < shown; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
    if (shown < bytes.size()) text += "...";
    return text;
}

std::string formatRowPort(std::uint32_t interfaceIndex, const std::string& name) {
    std::string text = std::to_string(std::uint64_t{interfaceIndex} + 1);
    if (!name.empty()) text += ": " + name;
    return text;
}
