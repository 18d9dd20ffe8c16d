#include "engine/SerialFile.h"

#include <sys/types.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/DebugTrace.h"
#include "engine/ErrorReporter.h"

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
    bool clean = !std::ferror(file_);
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
    return true;
}

void SerialFileReader::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    bufferStart_ = 0;
    bufferLength_ = 0;
    position_ = 0;
}

bool SerialFileReader::fill(std::uint64_t position) {
    bufferLength_ = 0;
    if (!file_) return false;
    std::uint64_t start = position > kWindowBackMargin ? position - kWindowBackMargin : 0;
    if (!seekTo(file_, start)) return false;
    bufferStart_ = start;
    bufferLength_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    if (bufferLength_ < buffer_.size()) std::clearerr(file_);
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

std::optional<std::uint64_t> seekChunk(SerialFileReader& file, std::uint32_t target,
                                       const std::function<bool()>& goOn) {
    if (!file.isOpen()) return std::nullopt;
    file.seek(0);
    if (target == 0) return 0;
    ChunkReader reader(file, kPlaybackResyncStep);
    Chunk chunk;
    // Asking at every step would cost a call per two bytes of damaged data.
    std::uint64_t askAt = kSeekAskEvery;
    for (;;) {
        if (goOn && reader.cursor() >= askAt) {
            if (!goOn()) return std::nullopt;
            askAt = reader.cursor() + kSeekAskEvery;
        }
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

std::optional<std::uint32_t> scanDuration(const std::string& path, DebugTrace& trace,
                                          ErrorReporter& errors) {
    SerialFileReader file;
    if (!file.open(path)) {
        // Spelling kept on purpose: logs and users' scripts match this text.
        errors.showErrorBox("Couldnt open file!", true);
        return std::nullopt;
    }
    trace.tracef(DebugTrace::kLevel, "Loading %s\r\n", path.c_str());
    std::optional<std::uint64_t> size = file.size();
    if (!size) {
        file.close();
        trace.tracef(DebugTrace::kLevel, "Loading success=%d\r\n", 0);
        return std::nullopt;
    }
    trace.tracef(DebugTrace::kLevel, "FileSize=%llu\r\n", static_cast<unsigned long long>(*size));

    // The last chunk is at most kMaxChunkSize bytes long and ends the file.
    file.seek(*size > kMaxChunkSize ? *size - kMaxChunkSize : 0);
    std::optional<std::uint32_t> duration;
    for (;;) {
        bool afterMarker0 = false;
        bool found = false;
        while (std::optional<std::uint8_t> byte = file.readByte()) {
            if (afterMarker0 && *byte == kChunkMarker1) {
                found = true;
                break;
            }
            // 53 53 01 is found: every 0x53 starts a new candidate.
            afterMarker0 = *byte == kChunkMarker0;
        }
        if (!found) break;

        std::uint64_t afterMarker = file.position();
        std::uint8_t head[kChunkHeaderSize - kChunkMarkerSize];  // time offset, length
        if (file.read(head, sizeof head) < sizeof head) break;  // the end of the file
        std::uint32_t timeOffset = decodeTimeOffset(head);
        std::uint8_t length = head[4];
        file.seek(afterMarker + sizeof head + length);
        std::optional<std::uint8_t> terminator = file.readByte();
        if (terminator && *terminator == kChunkTerminator) {
            duration = timeOffset;
            // The offset is shown as a signed 32-bit number on every platform.
            trace.tracef(DebugTrace::kLevel, "found chunk: pos=%llu off=%ld sz=%d\r\n",
                         static_cast<unsigned long long>(afterMarker),
                         static_cast<long>(static_cast<std::int32_t>(timeOffset)),
                         static_cast<int>(length));
        } else {
            // Not a chunk after all: its "time offset" may still hold a marker.
            file.seek(afterMarker);
        }
    }
    file.close();
    trace.tracef(DebugTrace::kLevel, "Loading success=%d\r\n", duration ? 1 : 0);
    return duration;
}
