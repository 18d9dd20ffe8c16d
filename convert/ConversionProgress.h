#pragma once

#include <cstdint>
#include <functional>

// Told how far a conversion has come, in bytes of its input out of the input's size (0 when the
// size is unknown), about once a block; returning false cancels the conversion. An empty one is
// never called.
using ConversionProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Bytes of input between two calls: a few per second of a fast conversion, none per chunk.
inline constexpr std::uint64_t kProgressStep = 256 * 1024;
