#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/Failure.h"

class DebugTrace;

// A serial file is a plain sequence of chunks, no header:
//   53 01 | time offset (u32, little-endian, tenths of a second) | n (u8) | n data bytes | 0A
inline constexpr std::uint8_t kChunkMarker0 = 0x53;
inline constexpr std::uint8_t kChunkMarker1 = 0x01;
inline constexpr std::uint8_t kChunkTerminator = 0x0A;
inline constexpr std::size_t kMaxChunkData = 255;
inline constexpr std::size_t kChunkMarkerSize = 2;
inline constexpr std::size_t kChunkHeaderSize = kChunkMarkerSize + 4 + 1;     // marker, offset, n
inline constexpr std::size_t kChunkOverhead = kChunkHeaderSize + 1;           // and the terminator
inline constexpr std::size_t kMaxChunkSize = kChunkOverhead + kMaxChunkData;  // 263

// The one encoding of a chunk: writes kChunkOverhead + length bytes to out and returns that
// count. No data (null) is written as a chunk of length 0.
std::size_t encodeChunk(std::uint32_t timeOffset, const std::uint8_t* data, std::uint8_t length,
                        std::uint8_t* out);

// Resync steps of the chunk reader: playback and seek step 2 bytes, the exporter 1.
inline constexpr unsigned kPlaybackResyncStep = 2;
inline constexpr unsigned kExportResyncStep = 1;

// Writes chunks to a new file (truncating). Buffered: the chunks are with the system once
// flushed, and the file is complete once closed, so a full disk may only show in flush() or
// close(). After a failure errno holds the C library's reason.
class SerialFileWriter {
public:
    SerialFileWriter() = default;
    ~SerialFileWriter();
    SerialFileWriter(const SerialFileWriter&) = delete;
    SerialFileWriter& operator=(const SerialFileWriter&) = delete;

    bool open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // False when the stream refused a byte (it is in error from then on).
    bool writeChunk(std::uint32_t timeOffset, const std::uint8_t* data, std::uint8_t length);
    // Hands the buffered chunks to the system. False when it refused them or nothing is open.
    bool flush();
    // False when the buffered bytes could not be written out; true when nothing was open.
    bool close();

private:
    std::FILE* file_ = nullptr;
};

// Random-access buffered reading of a file with 64-bit positions. Repositioning inside the
// buffered window costs nothing, so per-chunk repositioning does not re-read the file.
class SerialFileReader {
public:
    SerialFileReader() = default;
    ~SerialFileReader();
    SerialFileReader(const SerialFileReader&) = delete;
    SerialFileReader& operator=(const SerialFileReader&) = delete;

    bool open(const std::string& path);  // "rb"
    bool isOpen() const { return file_ != nullptr; }
    void close();

    // A read that failed (not one that met the end) ends every read after it, until the next
    // open; errno's value of that failure is kept for the report.
    bool readFailed() const { return readError_ != 0; }
    int readError() const { return readError_; }

    void seek(std::uint64_t position) { position_ = position; }
    std::uint64_t position() const { return position_; }
    // Reads up to count bytes at the position and advances it; returns the count read.
    std::size_t read(void* destination, std::size_t count) {
        // A seek reads every chunk in a few small pieces: the common case stays inline.
        if (inWindow(count)) {
            std::memcpy(destination, buffer_.data() + (position_ - bufferStart_), count);
            position_ += count;
            return count;
        }
        return readThroughWindow(destination, count);
    }
    // Like read, without copying: moves over up to count bytes that exist.
    std::size_t skip(std::size_t count) {
        if (inWindow(count)) {
            position_ += count;
            return count;
        }
        return readThroughWindow(nullptr, count);
    }
    std::optional<std::uint8_t> readByte() {
        std::uint8_t byte = 0;
        if (read(&byte, 1) != 1) return std::nullopt;
        return byte;
    }
    std::optional<std::uint64_t> size();

private:
    bool inWindow(std::size_t count) const {
        return position_ >= bufferStart_ && count <= bufferLength_ &&
               position_ - bufferStart_ <= bufferLength_ - count;
    }
    std::size_t readThroughWindow(void* destination, std::size_t count);  // null: skip
    bool fill(std::uint64_t position);

    std::FILE* file_ = nullptr;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t bufferStart_ = 0;
    std::size_t bufferLength_ = 0;
    std::uint64_t position_ = 0;
    int readError_ = 0;
};

struct Chunk {
    std::uint64_t start = 0;  // position of the marker
    std::uint32_t timeOffset = 0;
    std::uint8_t length = 0;
    std::uint8_t data[kMaxChunkData] = {};
};

// The chunk reader: walks a serial file from a cursor, skipping non-chunk bytes by the resync
// step. Reading ends at the end of the file or at a read error; the file's readFailed() tells
// which. Playback drives it a step at a time (readAt/finish) so it can look at its stop and pause
// requests between steps and come back to a chunk that is not due yet; next() does it all.
class ChunkReader {
public:
    enum class Step {
        Chunk,   // a chunk was read into the record; call finish() or setCursor(chunk.start)
        Resync,  // no marker at the cursor; the cursor moved on by the resync step
        End,     // reading has ended
    };

    // A step of 0 would never move on; it is taken as 1.
    ChunkReader(SerialFileReader& file, unsigned resyncStep, std::uint64_t cursor = 0)
        : file_(file), resyncStep_(resyncStep > 0 ? resyncStep : 1), cursor_(cursor) {}

    std::uint64_t cursor() const { return cursor_; }
    // Reading starts again from the new cursor, even after it had ended.
    void setCursor(std::uint64_t cursor) {
        cursor_ = cursor;
        ended_ = false;
    }

    // Without withData the data are only checked to be there, not copied (the seek needs no
    // data; copying them would double its cost).
    Step readAt(Chunk& chunk, bool withData = true);
    // After a delivered chunk: reads its terminator (value ignored) and moves the cursor to
    // chunk start + 6 + n. False when no byte was left, which ends reading.
    bool finish(const Chunk& chunk);
    // The next delivered chunk, or false when reading has ended.
    bool next(Chunk& chunk);

private:
    SerialFileReader& file_;
    unsigned resyncStep_;
    std::uint64_t cursor_;
    bool ended_ = false;
};

// How far a seek walks between two questions to its goOn function.
inline constexpr std::uint64_t kSeekAskEvery = 64 * 1024;

// Start position of the first chunk with data whose time offset is at or after target; 0 at
// once for target 0; nothing when the file holds no such chunk. A seek through a long file can
// take seconds: goOn, when given, is asked about every kSeekAskEvery bytes whether to go on, and
// a false answer ends the seek with nothing. Otherwise the result does not depend on goOn. A read
// error also ends it with nothing; file.readFailed() tells that from a file without the chunk.
// This one reads the file from the start.
std::optional<std::uint64_t> seekChunkLinear(SerialFileReader& file, std::uint32_t target,
                                             const std::function<bool()>& goOn = {});

// How many bytes each backward step of the duration scan looks at.
inline constexpr std::uint64_t kScanBackWindow = 63 * 1024;

struct DurationScan {
    std::optional<std::uint32_t> duration;  // nothing when the file holds no complete chunk
    Failure failure;                        // OpenInput when the file would not open
};

// Duration of a recording: the time offset of the last complete chunk, looked for in the file's
// last 263 bytes and, only when none is there (a cut recording), further back in the whole file.
// Traces its progress. A file that would not open comes back with the system's own reason.
DurationScan scanDuration(const std::string& path, DebugTrace& trace);
