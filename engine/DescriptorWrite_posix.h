#pragma once

#include <chrono>
#include <cstdint>

// Writes to a non-blocking descriptor, waiting for room with poll, for at most limit (negative:
// until all is written). Returns 0, or the errno of the failure (EIO for a hang-up); *done gets
// the count moved either way. Keeps no state, so it can run beside reads on another thread.
int writeDescriptorWithin(int fd, const void* data, std::uint32_t count, std::uint32_t* done,
                          std::chrono::milliseconds limit);
