#include "engine/SerialFile.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include "engine/AskEvery.h"
#include "engine/DebugTrace.h"

// Recordings can exceed 4 GiB; a 32-bit off_t would silently cut positions.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

constexpr std::size_t kReadWindow = 64 * 1024;
// A refill keeps this many bytes before the wanted position in the window, so stepping back to
// a chunk's start (at most one chunk, 263 bytes) never reads the file again.
constexpr std::uint64_t kWindowBackMargin = 512;

std::uint32_t decodeTimeOffset(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

bool seekTo(std::FILE* file, std::uint64_t position) {
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

}  // namespace

// ---- SerialFileWriter

SerialFileWriter::~SerialFileWriter() { close(); }

bool SerialFileWriter::open(const std::string& path) {
    close();
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

std::size_t encodeChunk(std::uint32_t timeOffset, const std::uint8_t* data, std::uint8_t length,
                        std::uint8_t* out) {
    if (!data) length = 0;
    out[0] = kChunkMarker0;
    out[1] = kChunkMarker1;
    for (int i = 0; i < 4; ++i) out[2 + i] = static_cast<std::uint8_t>(timeOffset >> (8 * i));
    out[kChunkHeaderSize - 1] = length;
    if (length > 0) std::memcpy(out + kChunkHeaderSize, data, length);
    out[kChunkHeaderSize + length] = kChunkTerminator;
    return kChunkOverhead + length;
}

bool SerialFileWriter::writeChunk(std::uint32_t timeOffset, const std::uint8_t* data,
                                  std::uint8_t length) {
    if (!file_) return false;
    // One write into the stream's buffer; the stream decides when the disk sees it.
    std::uint8_t encoded[kMaxChunkSize];
    const std::size_t size = encodeChunk(timeOffset, data, length, encoded);
    return std::fwrite(encoded, 1, size, file_) == size;
}

bool SerialFileWriter::flush() { return file_ && std::fflush(file_) == 0; }

bool SerialFileWriter::close() {
    if (!file_) return true;
    // The flush is checked on its own: some C libraries' fclose reports a failed flush as success.
    bool clean = std::fflush(file_) == 0 && !std::ferror(file_);
    clean = std::fclose(file_) == 0 && clean;
    file_ = nullptr;
    return clean;
}

// ---- SerialFileReader

SerialFileReader::~SerialFileReader() { close(); }

bool SerialFileReader::open(const std::string& path) {
    close();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    // Return at once: a caller that reports the failure wants the system's error of fopen.
    if (!file) return false;
    // The window below is the only buffer; a stdio buffer as well would be dropped and re-read
    // on every repositioning.
    std::setvbuf(file, nullptr, _IONBF, 0);
    file_ = file;
    buffer_.resize(kReadWindow);
    bufferStart_ = 0;
    bufferLength_ = 0;
    position_ = 0;
    readError_ = 0;
    return true;
}

void SerialFileReader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    bufferStart_ = 0;
    bufferLength_ = 0;
    position_ = 0;
}

// A short read is the end only when the stream says so: a folder opened as a file, or a disk
// error part-way, must not pass for the end of a recording.
bool SerialFileReader::fill(std::uint64_t position) {
    bufferLength_ = 0;
    if (!file_ || readError_ != 0) return false;
    std::uint64_t start = position > kWindowBackMargin ? position - kWindowBackMargin : 0;
    errno = 0;
    if (!seekTo(file_, start)) {
        readError_ = errno != 0 ? errno : EINVAL;
        return false;
    }
    bufferStart_ = start;
    bufferLength_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (bufferLength_ < buffer_.size()) {
        if (std::ferror(file_)) {
            readError_ = errno != 0 ? errno : EIO;
            bufferLength_ = 0;
        }
        std::clearerr(file_);
    }
    return position - start < bufferLength_;
}

std::size_t SerialFileReader::readThroughWindow(void* destination, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    while (done < count) {
        if (position_ < bufferStart_ || position_ - bufferStart_ >= bufferLength_) {
            if (!fill(position_)) break;
        }
        auto offset = static_cast<std::size_t>(position_ - bufferStart_);
        std::size_t part = std::min(count - done, bufferLength_ - offset);
        if (out) std::memcpy(out + done, buffer_.data() + offset, part);
        done += part;
        position_ += part;
    }
    return done;
}

std::optional<std::uint64_t> SerialFileReader::size() {
    if (!file_) return std::nullopt;
    // Every fill seeks first, so moving the stream to the end here disturbs nothing.
    if (fseeko(file_, 0, SEEK_END) != 0) return std::nullopt;
    off_t end = ftello(file_);
    if (end < 0) return std::nullopt;
    return static_cast<std::uint64_t>(end);
}

// ---- ChunkReader

ChunkReader::Step ChunkReader::readAt(Chunk& chunk, bool withData) {
    if (ended_) return Step::End;
    file_.seek(cursor_);
    std::uint8_t marker[2];
    if (file_.read(marker, 2) < 2) {
        ended_ = true;
        return Step::End;
    }
    if (marker[0] != kChunkMarker0 || marker[1] != kChunkMarker1) {
        cursor_ += resyncStep_;
        return Step::Resync;
    }
    std::uint8_t head[kChunkHeaderSize - kChunkMarkerSize];  // time offset, length
    if (file_.read(head, sizeof head) < sizeof head) {
        ended_ = true;
        return Step::End;
    }
    chunk.start = cursor_;
    chunk.timeOffset = decodeTimeOffset(head);
    chunk.length = head[4];
    std::size_t got = withData ? file_.read(chunk.data, chunk.length) : file_.skip(chunk.length);
    if (got < chunk.length) {
        ended_ = true;
        return Step::End;
    }
    return Step::Chunk;
}

bool ChunkReader::finish(const Chunk& chunk) {
    // Seek explicitly: the caller may have used the file in between.
    file_.seek(chunk.start + kChunkHeaderSize + chunk.length);
    bool terminated = file_.readByte().has_value();
    // Marker bytes are not counted, which leaves the cursor on the chunk's last two bytes; the
    // resync step then moves on to the next chunk.
    cursor_ = chunk.start + kChunkOverhead - kChunkMarkerSize + chunk.length;
    if (!terminated) ended_ = true;
    return terminated;
}

bool ChunkReader::next(Chunk& chunk) {
    for (;;) {
        switch (readAt(chunk)) {
            case Step::Chunk:
                // Delivered even without its terminator; reading then ends on the next call.
                finish(chunk);
                return true;
            case Step::Resync:
                break;
            case Step::End:
                return false;
        }
    }
}

// ---- Seek and duration

std::optional<std::uint64_t> seekChunkLinear(SerialFileReader& file, std::uint32_t target,
                                             const std::function<bool()>& goOn) {
    if (!file.isOpen()) return std::nullopt;
    file.seek(0);
    if (target == 0) return 0;
    ChunkReader reader(file, kPlaybackResyncStep);
    Chunk chunk;
    AskEvery asking(kSeekAskEvery, static_cast<bool>(goOn));
    for (;;) {
        if (asking.due(reader.cursor()) && !goOn()) return std::nullopt;
        switch (reader.readAt(chunk, false)) {
            case ChunkReader::Step::Chunk:
                // Empty chunks are never sent, so playback must not start on one.
                if (chunk.length > 0 && target <= chunk.timeOffset) {
                    file.seek(chunk.start);
                    return chunk.start;
                }
                reader.finish(chunk);
                break;
            case ChunkReader::Step::Resync:
                break;
            case ChunkReader::Step::End:
                return std::nullopt;
        }
    }
}

namespace {

// A backward window and the longest chunk after it fit in one fill of the reader, so each window
// is read from the file once.
static_assert(kScanBackWindow + kMaxChunkSize + kWindowBackMargin <= kReadWindow);

struct FoundChunk {
    std::uint64_t afterMarker = 0;  // position just after the marker
    std::uint32_t timeOffset = 0;
    std::uint8_t length = 0;
};

void traceFound(DebugTrace& trace, const FoundChunk& chunk) {
    // The offset is shown as a signed 32-bit number on every platform.
    trace.tracef(DebugTrace::kLevel, "found chunk: pos=%llu off=%ld sz=%d\r\n",
                 static_cast<unsigned long long>(chunk.afterMarker),
                 static_cast<long>(static_cast<std::int32_t>(chunk.timeOffset)),
                 static_cast<int>(chunk.length));
}

// Scans forward from `from` for complete chunks whose marker starts before markersBefore and
// calls found for each; a complete chunk is skipped whole, anything else only by its marker.
// Returns the last one found.
std::optional<FoundChunk> scanForward(SerialFileReader& file, std::uint64_t from,
                                      std::uint64_t markersBefore,
                                      const std::function<void(const FoundChunk&)>& found) {
    file.seek(from);
    std::optional<FoundChunk> last;
    for (;;) {
        bool afterMarker0 = false;
        bool seen = false;
        while (std::optional<std::uint8_t> byte = file.readByte()) {
            if (afterMarker0 && *byte == kChunkMarker1) {
                seen = true;
                break;
            }
            // 53 53 01 is found: every 0x53 starts a new candidate.
            afterMarker0 = *byte == kChunkMarker0;
        }
        if (!seen) break;

        FoundChunk chunk;
        chunk.afterMarker = file.position();
        if (chunk.afterMarker - kChunkMarkerSize >= markersBefore) break;
        std::uint8_t head[kChunkHeaderSize - kChunkMarkerSize];  // time offset, length
        if (file.read(head, sizeof head) < sizeof head) break;   // the end of the file
        chunk.timeOffset = decodeTimeOffset(head);
        chunk.length = head[4];
        file.seek(chunk.afterMarker + sizeof head + chunk.length);
        std::optional<std::uint8_t> terminator = file.readByte();
        if (terminator && *terminator == kChunkTerminator) {
            last = chunk;
            if (found) found(chunk);
        } else {
            // Not a chunk after all: its "time offset" may still hold a marker.
            file.seek(chunk.afterMarker);
        }
    }
    return last;
}

}  // namespace

// The last chunk of a well-formed file lies in the last kMaxChunkSize bytes, so only that tail
// is read and every chunk found there is traced. A recording cut short (killed, disk full) may
// end in a partial chunk with the previous marker before the tail; only then does the scan go
// on backwards, window by window, to the last complete chunk anywhere in the file, tracing
// "Scanning back from %llu" (where the tail begins) and the one chunk it settles on.
DurationScan scanDuration(const std::string& path, DebugTrace& trace) {
    SerialFileReader file;
    if (!file.open(path)) return {std::nullopt, openFailure(Failure::Kind::OpenInput, path)};
    trace.tracef(DebugTrace::kLevel, "Loading %s\r\n", path.c_str());
    std::optional<std::uint64_t> size = file.size();
    if (!size) {
        file.close();
        trace.tracef(DebugTrace::kLevel, "Loading success=%d\r\n", 0);
        return {};
    }
    trace.tracef(DebugTrace::kLevel, "FileSize=%llu\r\n", static_cast<unsigned long long>(*size));

    const std::uint64_t tail = *size > kMaxChunkSize ? *size - kMaxChunkSize : 0;
    std::optional<FoundChunk> last =
        scanForward(file, tail, *size, [&](const FoundChunk& chunk) { traceFound(trace, chunk); });
    if (!last && tail > 0) {
        trace.tracef(DebugTrace::kLevel, "Scanning back from %llu\r\n",
                     static_cast<unsigned long long>(tail));
        // Each window takes the markers before the previous window's start; the chunk behind a
        // marker may reach past that start and is read whole.
        for (std::uint64_t end = tail; !last && end > 0;) {
            const std::uint64_t begin = end > kScanBackWindow ? end - kScanBackWindow : 0;
            last = scanForward(file, begin, end, {});
            end = begin;
        }
        if (last) traceFound(trace, *last);
    }
    file.close();
    trace.tracef(DebugTrace::kLevel, "Loading success=%d\r\n", last ? 1 : 0);
    if (!last) return {};
    return {last->timeOffset, {}};
}
