#include "cli/PlayTiming.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double nearestRankPercentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return 0.0;
    const double rank = std::ceil(fraction * static_cast<double>(sorted.size()));
    const std::size_t index = rank < 1.0 ? 0 : static_cast<std::size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

double latenessMs(const ChunkTiming& timing, std::int64_t frequency) {
    return static_cast<double>(timing.writeStarted - timing.due) * 1000.0 /
           static_cast<double>(frequency);
}

PlayTimingSummary summarizePlayTiming(const std::vector<ChunkTiming>& timings,
                                      std::int64_t frequency) {
    PlayTimingSummary summary;
    std::vector<double> lateness;
    lateness.reserve(timings.size());
    for (const ChunkTiming& timing : timings) {
        if (!timing.written) {
            ++summary.refusedChunks;
            continue;
        }
        ++summary.chunks;
        summary.bytes += timing.length;
        const double ms = latenessMs(timing, frequency);
        if (lateness.empty()) summary.firstMs = ms;
        summary.lastMs = ms;
        if (ms > 1.0) ++summary.laterThan1Ms;
        lateness.push_back(ms);
    }
    std::sort(lateness.begin(), lateness.end());
    summary.p50Ms = nearestRankPercentile(lateness, 0.50);
    summary.p99Ms = nearestRankPercentile(lateness, 0.99);
    summary.maxMs = lateness.empty() ? 0.0 : lateness.back();
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
