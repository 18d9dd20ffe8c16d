#pragma once

#include <cstdint>
#include <span>
#include <string>

// The texts of one row of the data view. Times: a serial chunk's offset in tenths shows as
// m:ss.t, a conversation burst's time since the first burst as m:ss.mmmmmm; minutes never roll
// over into hours. Bytes show as hex pairs and as printable ASCII (anything else as '.'); both
// stop after kDataRowShownBytes with "..." so that one long burst never makes a huge row.
inline constexpr std::size_t kDataRowShownBytes = 256;

std::string formatTenthsRowTime(std::uint64_t tenths);
std::string formatMicrosRowTime(std::uint64_t micros);
std::string formatRowHex(std::span<const std::uint8_t> bytes);
std::string formatRowAscii(std::span<const std::uint8_t> bytes);
// A burst's port in a conversation of several: its number from 1 and the port's name, "2: COM4";
// the number alone when the file names none.
std::string formatRowPort(std::uint32_t interfaceIndex, const std::string& name);
