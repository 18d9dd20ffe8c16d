#pragma once

#include <cstdint>

// When the playback worker wrote one chunk against when it was due, in performance-counter
// ticks (perfCounterNow), for a front end that measures how well the timing is kept.
struct ChunkTiming {
    std::int64_t due = 0;
    std::int64_t writeStarted = 0;
    std::uint32_t length = 0;
    bool written = false;  // false: the port refused the chunk
};

// Called on the worker's thread after each chunk's write; it must be quick, the next chunk may
// be due at once.
class ChunkTimingObserver {
public:
    virtual ~ChunkTimingObserver() = default;
    virtual void chunkSent(const ChunkTiming& timing) = 0;
};
