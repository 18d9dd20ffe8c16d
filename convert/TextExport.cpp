#include "convert/TextExport.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "convert/BlockOutput.h"
#include "convert/ByteForms.h"
#include "convert/ExportSource.h"
#include "engine/AskEvery.h"
#include "engine/SerialFile.h"

namespace {

constexpr const char* kHeadingTime = "Time(seconds)";
constexpr const char* kHeadingRest = " Datapos   Data...\r\n";

// The longest line: a time column (at most 17 characters for a 32-bit offset, the buffer
// allows more), the position column, 255 bytes of 5 characters, CR LF, and the 8-byte copy's
// overhang.
constexpr std::size_t kTimeTextMax = 48;
constexpr std::size_t kLineMax = kTimeTextMax + 10 + kMaxChunkData * kHexFieldSize + 2 + 8;

// The time column of "%-12f:". Recordings repeat offsets from chunk to chunk, so the text of
// the last offset is kept.
class TimeColumn {
public:
    std::size_t format(std::uint32_t timeOffset, std::uint8_t* out) {
        if (!valid_ || timeOffset != offset_) {
            int length = std::snprintf(text_, sizeof text_, "%-12f:", timeOffset * 0.1);
            length_ = length > 0 ? static_cast<std::size_t>(length) : 0;
            if (length_ >= sizeof text_) length_ = sizeof text_ - 1;
            offset_ = timeOffset;
            valid_ = true;
        }
        std::memcpy(out, text_, length_);
        return length_;
    }

private:
    char text_[kTimeTextMax] = {};
    std::size_t length_ = 0;
    std::uint32_t offset_ = 0;
    bool valid_ = false;
};

// " %08X "
std::size_t formatPositionColumn(std::uint32_t position, std::uint8_t* out) {
    out[0] = ' ';
    for (int digit = 0; digit < 8; ++digit)
        out[1 + digit] = static_cast<std::uint8_t>(kHexDigits[(position >> (28 - 4 * digit)) & 15]);
    out[9] = ' ';
    return 10;
}

// The chunks in the chosen form; what failed is left in the file and the output. False when
// the progress callback cancelled.
bool writeChunks(SerialFileReader& serial, BlockOutput& output, const ExportOptions& options,
                 const ConversionProgress& progress, std::uint64_t total) {
    const bool raw = options.exportType == ExportType::RawBytes;
    const bool timeColumn = options.showTimeOffset && !raw;
    const bool positionColumn = options.showDataPosition && !raw;
    if (options.showHeading && !raw) {
        if (options.showTimeOffset) output.append(kHeadingTime, std::strlen(kHeadingTime));
        output.append(kHeadingRest, std::strlen(kHeadingRest));
    }

    TimeColumn time;
    std::uint32_t dataPosition = 0;
    ChunkReader reader(serial, kExportResyncStep);
    Chunk chunk;
    AskEvery reporting(kProgressStep, static_cast<bool>(progress));
    // The reader still delivers a last chunk whose terminator the end of the file cut off. A
    // full disk stays full: writing on would only take time.
    while (!output.failed() && reader.next(chunk)) {
        if (reporting.due(reader.cursor()) && !progress(reader.cursor(), total)) return false;
        const std::size_t length = chunk.length;
        if (length == 0) continue;
        std::uint8_t* const line = output.room(kLineMax);
        std::uint8_t* out = line;
        if (timeColumn) out += time.format(chunk.timeOffset, out);
        if (positionColumn) out += formatPositionColumn(dataPosition, out);
        out += formatBytes(options.exportType, chunk.data, length, out);
        if (!raw) {
            out[0] = '\r';
            out[1] = '\n';
            out += 2;
        }
        output.commit(static_cast<std::size_t>(out - line));
        dataPosition += static_cast<std::uint32_t>(length);
    }
    return true;
}

// A serial file as an export's input.
class SerialExportSource : public ExportSource {
public:
    Failure open(const std::string& path) override {
        path_ = path;
        if (serial_.open(path)) return {};
        return openFailure(Failure::Kind::OpenInput, path);
    }
    std::uint64_t size() override { return serial_.size().value_or(0); }
    bool write(BlockOutput& output, const ExportOptions& options,
               const ConversionProgress& progress, std::uint64_t total) override {
        return writeChunks(serial_, output, options, progress, total);
    }
    Failure close() override {
        const int readError = serial_.readError();
        serial_.close();
        if (readError == 0) return {};
        return fileFailure(Failure::Kind::ReadInput, path_, cLibraryError(readError));
    }

private:
    SerialFileReader serial_;
    std::string path_;
};

}  // namespace

ExportResult exportToText(const std::string& serialPath, const ExportOptions& options,
                          const ConversionProgress& progress) {
    SerialExportSource source;
    return exportSourceToText(source, serialPath, options, progress);
}

ExportResult exportToStream(const std::string& serialPath, std::FILE* stream,
                            const std::string& streamName, const ExportOptions& options,
                            const ConversionProgress& progress) {
    SerialExportSource source;
    return exportSourceToStream(source, serialPath, stream, streamName, options, progress);
}
