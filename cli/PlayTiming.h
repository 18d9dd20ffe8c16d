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

// Lateness in milliseconds of a chunk's write, given the counter's frequency.
double latenessMs(const ChunkTiming& timing, std::int64_t frequency);

// Adds up the chunks of a playback in fixed room, so that one looping for days does not grow:
// lateness goes into 10 µs buckets up to 1 s (later ones into the last), and the percentiles
// are the upper edge of their bucket by nearest rank, never above the largest lateness seen.
// add() allocates nothing and takes no lock, so the playback worker's thread can call it per
// chunk; summary() is read once that thread has ended.
class PlayTimingTally {
public:
    static constexpr double kBucketMs = 0.01;
    static constexpr std::size_t kBuckets = 100'000;

    explicit PlayTimingTally(std::int64_t frequency) : frequency_(frequency) {}

    void add(const ChunkTiming& timing);
    PlayTimingSummary summary() const;

private:
    double percentileMs(double fraction) const;

    std::int64_t frequency_;
    std::vector<std::uint64_t> buckets_ = std::vector<std::uint64_t>(kBuckets);
    PlayTimingSummary totals_;
};

// The report as lines of "name: value" and as one JSON object, each ending in a line end.
std::string playTimingText(const PlayTimingSummary& summary);
std::string playTimingJson(const PlayTimingSummary& summary);
