#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "convert/TextExport.h"

// The forms in which an export writes data bytes, for every kind of file it exports.

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// "0x%02X " for every byte, padded to 8 so each byte is stored with one 8-byte copy; the next
// byte's copy overwrites the padding.
inline constexpr std::size_t kHexFieldSize = 5;
// What formatBytes may write past the end of its text.
inline constexpr std::size_t kByteFormsOverhang = 8 - kHexFieldSize;

constexpr std::array<std::array<char, 8>, 256> makeHexFields() {
    std::array<std::array<char, 8>, 256> fields{};
    for (int byte = 0; byte < 256; ++byte)
        fields[byte] = {'0', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 15], ' ', 0, 0, 0};
    return fields;
}
inline constexpr auto kHexFields = makeHexFields();

constexpr std::array<std::uint8_t, 256> makeAsciiForms() {
    std::array<std::uint8_t, 256> forms{};
    for (int byte = 0; byte < 256; ++byte)
        forms[byte] = static_cast<std::uint8_t>(byte >= 0x20 && byte <= 0x7F ? byte : '.');
    return forms;
}
inline constexpr auto kAsciiForms = makeAsciiForms();

// Writes length bytes in the form at out, which has room for length * kHexFieldSize +
// kByteFormsOverhang; returns the length of the text.
inline std::size_t formatBytes(ExportType type, const std::uint8_t* data, std::size_t length,
                               std::uint8_t* out) {
    switch (type) {
        case ExportType::HexText:
            for (std::size_t i = 0; i < length; ++i)
                std::memcpy(out + i * kHexFieldSize, kHexFields[data[i]].data(), 8);
            return length * kHexFieldSize;
        case ExportType::RawBytes:
            std::memcpy(out, data, length);
            return length;
        case ExportType::AsciiText:
        default:
            for (std::size_t i = 0; i < length; ++i) out[i] = kAsciiForms[data[i]];
            return length;
    }
}
