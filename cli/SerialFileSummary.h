#pragma once

// What the info command tells about a serial file, gathered in one pass through it with the
// exporter's chunk reader, so the figures agree with what Export and the window see.

#include <cstdint>
#include <optional>
#include <string>

#include "engine/Failure.h"

struct SerialFileSummary {
    std::uint64_t fileSize = 0;
    std::uint64_t chunks = 0;     // whole chunks: header, data and terminator all present
    std::uint64_t dataBytes = 0;  // their data bytes
    // The window's duration (scanDuration); none when the window would not open the file.
    std::optional<std::uint32_t> duration;
    std::optional<std::uint32_t> firstOffset;
    std::optional<std::uint32_t> lastOffset;
    std::uint32_t longestGap = 0;    // between consecutive chunks' offsets, in tenths
    std::uint64_t garbageBytes = 0;  // bytes not part of any whole chunk
    bool lastChunkCut = false;       // the file ends inside a chunk
};

// Nothing when the file cannot be opened or read, with what failed in *failure.
std::optional<SerialFileSummary> summarizeSerialFile(const std::string& path, Failure* failure);
