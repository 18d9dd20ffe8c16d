#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "engine/SerialFile.h"

// Below this span between what the bisecting seek knows, reading on costs less than probing.
inline constexpr std::uint64_t kSeekLinearSpan = 256 * 1024;

// The same answer as seekChunkLinear for every file whose chunks with data have time offsets
// that never decrease along the reading (recordings and imports), found by bisecting the file
// by position; a file that shows itself out of order is read linearly. goOn is also asked before
// each probe. Files shorter than linearSpan are read linearly.
std::optional<std::uint64_t> seekChunk(SerialFileReader& file, std::uint32_t target,
                                       const std::function<bool()>& goOn = {},
                                       std::uint64_t linearSpan = kSeekLinearSpan);
