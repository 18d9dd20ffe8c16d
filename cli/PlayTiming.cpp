#include "cli/PlayTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double latenessMs(const ChunkTiming& timing, std::int64_t frequency) {
    return static_cast<double>(timing.writeStarted - timing.due) * 1000.0 /
           static_cast<double>(frequency);
}

void PlayTimingTally::add(const ChunkTiming& timing) {
    if (!timing.written) {
        ++totals_.refusedChunks;
        return;
    }
    const double ms = latenessMs(timing, frequency_);
    if (totals_.chunks == 0 || ms > totals_.maxMs) totals_.maxMs = ms;
    if (totals_.chunks == 0) totals_.firstMs = ms;
    totals_.lastMs = ms;
    ++totals_.chunks;
    totals_.bytes += timing.length;
    if (ms > 1.0) ++totals_.laterThan1Ms;
    const double bucket = std::floor(std::max(ms, 0.0) / kBucketMs);
    ++buckets_[bucket < kBuckets ? static_cast<std::size_t>(bucket) : kBuckets - 1];
}

double PlayTimingTally::percentileMs(double fraction) const {
    const double rank = std::max(1.0, std::ceil(fraction * static_cast<double>(totals_.chunks)));
    std::uint64_t counted = 0;
    for (std::size_t bucket = 0; bucket < kBuckets; ++bucket) {
        counted += buckets_[bucket];
        if (static_cast<double>(counted) >= rank) {
            return std::min(static_cast<double>(bucket + 1) * kBucketMs, totals_.maxMs);
        }
    }
    return totals_.maxMs;
}

PlayTimingSummary PlayTimingTally::summary() const {
    PlayTimingSummary summary = totals_;
    if (summary.chunks > 0) {
        summary.p50Ms = percentileMs(0.50);
        summary.p99Ms = percentileMs(0.99);
    }
    return summary;
}

namespace {

std::string formatted(const char* format, double first, double second = 0.0) {
    char text[128];
    std::snprintf(text, sizeof text, format, first, second);
    return text;
}

}  // namespace

std::string playTimingText(const PlayTimingSummary& s) {
    std::string text;
    text += "chunks sent: " + std::to_string(s.chunks) + "\n";
    text += "bytes sent: " + std::to_string(s.bytes) + "\n";
    text += "chunks refused by the port: " + std::to_string(s.refusedChunks) + "\n";
    text += formatted("lateness p50: %.3f ms\n", s.p50Ms);
    text += formatted("lateness p99: %.3f ms\n", s.p99Ms);
    text += formatted("lateness max: %.3f ms\n", s.maxMs);
    text += "chunks later than 1 ms: " + std::to_string(s.laterThan1Ms) + "\n";
    text += formatted("lateness first chunk: %.3f ms, last chunk: %.3f ms\n", s.firstMs, s.lastMs);
    return text;
}

std::string playTimingJson(const PlayTimingSummary& s) {
    std::string text = "{\n";
    text += "  \"chunks\": " + std::to_string(s.chunks) + ",\n";
    text += "  \"bytes\": " + std::to_string(s.bytes) + ",\n";
    text += "  \"refused_chunks\": " + std::to_string(s.refusedChunks) + ",\n";
    text += formatted("  \"lateness_p50_ms\": %.3f,\n", s.p50Ms);
    text += formatted("  \"lateness_p99_ms\": %.3f,\n", s.p99Ms);
    text += formatted("  \"lateness_max_ms\": %.3f,\n", s.maxMs);
    text += "  \"chunks_later_than_1ms\": " + std::to_string(s.laterThan1Ms) + ",\n";
    text += formatted("  \"first_chunk_lateness_ms\": %.3f,\n", s.firstMs);
    text += formatted("  \"last_chunk_lateness_ms\": %.3f\n", s.lastMs);
    return text + "}\n";
}
