#pragma once

// How well a playback kept the recorded timing: each chunk's lateness, the time from the instant
// it was due to the instant its write began, summed up for the report that play prints.

#include <cstdint>
#include <string>
#include <vector>

#include "workers/ChunkTiming.h"

struct PlayTimingSummary {
    std::uint64_t chunks = 0;  // written whole
    std::uint64_t bytes = 0;
    std::uint64_t refusedChunks = 0;  // the port failed their write
    double p50Ms = 0, p99Ms = 0, maxMs = 0;
    std::uint64_t laterThan1Ms = 0;
    double firstMs = 0, lastMs = 0;  // their difference is the drift over the playback
};

// The value at `fraction` (0..1] of sorted values by nearest rank; 0 for none.
double nearestRankPercentile(const std::vector<double>& sorted, double fraction);

// Lateness in milliseconds of a chunk's write, given the counter's frequency.
double latenessMs(const ChunkTiming& timing, std::int64_t frequency);

PlayTimingSummary summarizePlayTiming(const std::vector<ChunkTiming>& timings,
                                      std::int64_t frequency);

// The report as lines of "name: value" and as one JSON object, each ending in a line end.
std::string playTimingText(const PlayTimingSummary& summary);
std::string playTimingJson(const PlayTimingSummary& summary);
