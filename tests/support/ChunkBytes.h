#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A chunk as it must lie on disk, built independently of the program's writer: marker, time
// offset (little-endian), length, data and the terminator byte, when there is one.
inline Bytes chunkBytes(std::uint32_t offset, const Bytes& data,
                        std::optional<std::uint8_t> terminator = 0x0A) {
    Bytes out{0x53, 0x01};
    for (int shift = 0; shift < 32; shift += 8) out.push_back(offset >> shift);
    out.push_back(static_cast<std::uint8_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (terminator) out.push_back(*terminator);
    return out;
}

inline Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}
