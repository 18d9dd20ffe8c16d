// The chunk seeks and the duration scan over any bytes. Input: a 4-byte seek target, then the file.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/BisectingChunkSeek.h"
#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "fuzz/FuzzSupport.h"
#include "tests/support/Recorders.h"

namespace {

// A complete chunk anywhere: marker, header, data and a 0x0A terminator.
bool holdsCompleteChunk(const Bytes& file) {
    for (std::size_t at = 0; at + kChunkOverhead <= file.size(); ++at) {
        if (file[at] != kChunkMarker0 || file[at + 1] != kChunkMarker1) continue;
        const std::size_t end = at + kChunkHeaderSize + file[at + 6];
        if (end < file.size() && file[end] == kChunkTerminator) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    std::uint32_t target = 0;
    for (int i = 3; i >= 0; --i) target = target << 8 | data[i];
    const Bytes bytes(data + 4, data + size);
    const std::string path = putScratch("any.ser", bytes.data(), bytes.size());

    SerialFileReader file;
    check(file.open(path), "serial file opened");
    std::vector<ModelChunk> chunks = modelChunks(bytes, kPlaybackResyncStep);
    std::erase_if(chunks, [](const ModelChunk& chunk) { return chunk.data.empty(); });
    const bool inOrder = std::is_sorted(
        chunks.begin(), chunks.end(), [](auto& a, auto& b) { return a.timeOffset < b.timeOffset; });
    auto firstDue = [&](std::uint32_t due) -> std::optional<std::uint64_t> {
        if (due == 0) return 0;
        for (const auto& chunk : chunks)
            if (due <= chunk.timeOffset) return chunk.start;
        return std::nullopt;
    };
    check(seekChunkLinear(file, target) == firstDue(target),
          "seek finds the first chunk at or after the target");
    check(seekChunk(file, target) == firstDue(target),
          "a short file is sought as by the linear seek");

    // The bisecting seek with its shortest span, so that it probes even small inputs: at the
    // target, at a chunk's offset the target picks, and just after that offset.
    std::vector<std::uint32_t> targets{target};
    if (!chunks.empty()) {
        const std::uint32_t picked = chunks[target % chunks.size()].timeOffset;
        targets.insert(targets.end(), {picked, picked + 1});
    }
    for (std::uint32_t due : targets) {
        const std::optional<std::uint64_t> bisected = seekChunk(file, due, {}, 0);
        if (inOrder || due == 0) {
            check(bisected == firstDue(due), "bisecting and linear seeks agree on a file in order");
        } else if (bisected) {
            check(std::any_of(chunks.begin(), chunks.end(),
                              [&](const ModelChunk& chunk) {
                                  return chunk.start == *bisected && due <= chunk.timeOffset;
                              }),
                  "out of order, the bisecting seek still lands on a due chunk");
        }
    }
    file.close();

    RecordingTraceSink sink;
    DebugTrace trace(sink);
    const DurationScan scan = scanDuration(path, trace);
    const std::optional<std::uint32_t> duration = scan.duration;
    check(!scan.failure.happened(), "no failure for a file that opens");
    check(duration.has_value() == holdsCompleteChunk(bytes),
          "a duration exactly when the file holds a complete chunk");
    const std::vector<std::string> lines = sink.lines();
    check(lines.size() >= 3 &&
              lines.back() == (duration ? "Loading success=1\r\n" : "Loading success=0\r\n"),
          "the scan's trace ends with its result");
    return 0;
}
