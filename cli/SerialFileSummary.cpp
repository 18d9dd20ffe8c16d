#include "cli/SerialFileSummary.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/DebugTrace.h"
#include "engine/ErrorReporter.h"
#include "engine/SerialFile.h"
#include "engine/TraceSink.h"

namespace {

class NoTrace : public TraceSink {
public:
    void write(const char*) override {}
};

// The pass has opened and read the file already; a failure only the scan meets leaves the
// duration unknown.
class NoErrorBox : public ErrorReporter {
public:
    void showErrorBox(const std::string&, bool) override {}
};

void addChunk(SerialFileSummary& summary, const Chunk& chunk, std::uint64_t& coveredEnd,
              std::uint64_t& covered) {
    // A data byte 0x53 before a terminator read as 0x01 starts a chunk inside the last one: its
    // shared bytes count once.
    const std::uint64_t end = chunk.start + kChunkOverhead + chunk.length;
    covered += end - std::max(chunk.start, coveredEnd);
    coveredEnd = end;
    ++summary.chunks;
    summary.dataBytes += chunk.length;
    if (summary.lastOffset && chunk.timeOffset > *summary.lastOffset) {
        summary.longestGap = std::max(summary.longestGap, chunk.timeOffset - *summary.lastOffset);
    }
    if (!summary.firstOffset) summary.firstOffset = chunk.timeOffset;
    summary.lastOffset = chunk.timeOffset;
}

}  // namespace

std::optional<SerialFileSummary> summarizeSerialFile(const std::string& path, std::string* error) {
    SerialFileReader file;
    if (!file.open(path)) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    SerialFileSummary summary;
    std::uint64_t coveredEnd = 0;
    std::uint64_t covered = 0;
    ChunkReader reader(file, kExportResyncStep);
    Chunk chunk;
    for (bool reading = true; reading;) {
        switch (reader.readAt(chunk, false)) {
            case ChunkReader::Step::Chunk:
                if (reader.finish(chunk)) {
                    addChunk(summary, chunk, coveredEnd, covered);
                } else {
                    summary.lastChunkCut = true;  // all but its terminator
                    reading = false;
                }
                break;
            case ChunkReader::Step::Resync:
                break;
            case ChunkReader::Step::End:
                reading = false;
                break;
        }
    }
    // A folder opens as a file on POSIX: only its read fails.
    if (file.readFailed()) {
        *error = "cannot read " + path + ": " + std::strerror(file.readError());
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = file.size();
    if (!size) {
        *error = "cannot read " + path + ": " + std::strerror(errno != 0 ? errno : EIO);
        return std::nullopt;
    }
    summary.fileSize = *size;
    summary.garbageBytes = *size - covered;
    // Reading ended with a marker whole but its header or data cut off.
    if (reader.cursor() + kChunkMarkerSize <= *size) summary.lastChunkCut = true;
    file.close();

    NoTrace noTrace;
    DebugTrace trace(noTrace, 0);
    NoErrorBox noErrorBox;
    summary.duration = scanDuration(path, trace, noErrorBox);
    return summary;
}
