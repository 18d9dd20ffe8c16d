// The chunk seek and the duration scan over any bytes. Input: a 4-byte seek target, then the file.
#include <cstddef>
#include <cstdint>

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
    std::optional<std::uint64_t> expected;
    if (target == 0) expected = 0;
    for (const auto& chunk : modelChunks(bytes, kPlaybackResyncStep))
        if (!expected && !chunk.data.empty() && target <= chunk.timeOffset) expected = chunk.start;
    check(seekChunk(file, target) == expected, "seek finds the first chunk at or after the target");
    file.close();

    RecordingTraceSink sink;
    DebugTrace trace(sink);
    RecordingErrorReporter errors;
    const std::optional<std::uint32_t> duration = scanDuration(path, trace, errors);
    check(errors.reports.empty(), "no error box for a file that opens");
    check(duration.has_value() == holdsCompleteChunk(bytes),
          "a duration exactly when the file holds a complete chunk");
    const std::vector<std::string> lines = sink.lines();
    check(lines.size() >= 3 && lines.back() == (duration ? "Loading success=1\r\n"
                                                         : "Loading success=0\r\n"),
          "the scan's trace ends with its result");
    return 0;
}
