#include "cli/SerialFileSummary.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "engine/DebugTrace.h"
#include "engine/SerialFile.h"
#include "engine/TraceSink.h"

namespace {

class NoTrace : public TraceSink {
public:
    void write(const char*) override {}
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

std::optional<SerialFileSummary> summarizeSerialFile(const std::string& path, Failure* failure) {
    SerialFileReader file;
    if (!file.open(path)) {
        *failure = fileFailure(Failure::Kind::OpenInput, path, lastCLibraryError());
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
        *failure = fileFailure(Failure::Kind::ReadInput, path, cLibraryError(file.readError()));
        return std::nullopt;
    }
    const std::optional<std::uint64_t> size = file.size();
    if (!size) {
        *failure =
            fileFailure(Failure::Kind::ReadInput, path, cLibraryError(errno != 0 ? errno : EIO));
        return std::nullopt;
    }
    summary.fileSize = *size;
    summary.garbageBytes = *size - covered;
    // Reading ended with a marker whole but its header or data cut off.
    if (reader.cursor() + kChunkMarkerSize <= *size) summary.lastChunkCut = true;
    file.close();

    NoTrace noTrace;
    DebugTrace trace(noTrace, 0);
    // The pass has opened and read the file already; a failure only the scan meets leaves the
    // duration unknown.
    summary.duration = scanDuration(path, trace).duration;
    return summary;
}
