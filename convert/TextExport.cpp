#include "convert/TextExport.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "convert/BlockOutput.h"
#include "convert/ReplacingOutput.h"
#include "engine/AskEvery.h"
#include "engine/SerialFile.h"

namespace {

constexpr const char* kHeadingTime = "Time(seconds)";
constexpr const char* kHeadingRest = " Datapos   Data...\r\n";

constexpr char kHexDigits[] = "0123456789ABCDEF";

// "0x%02X " for every byte, padded to 8 so each byte is stored with one 8-byte copy; the
// next byte's copy overwrites the padding.
constexpr std::size_t kHexFieldSize = 5;
constexpr std::array<std::array<char, 8>, 256> makeHexFields() {
    std::array<std::array<char, 8>, 256> fields{};
    for (int byte = 0; byte < 256; ++byte)
        fields[byte] = {'0', 'x', kHexDigits[byte >> 4], kHexDigits[byte & 15], ' ', 0, 0, 0};
    return fields;
}
constexpr auto kHexFields = makeHexFields();

constexpr std::array<std::uint8_t, 256> makeAsciiForms() {
    std::array<std::uint8_t, 256> forms{};
    for (int byte = 0; byte < 256; ++byte)
        forms[byte] = static_cast<std::uint8_t>(byte >= 0x20 && byte <= 0x7F ? byte : '.');
    return forms;
}
constexpr auto kAsciiForms = makeAsciiForms();

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
        switch (options.exportType) {
            case ExportType::HexText:
                for (std::size_t i = 0; i < length; ++i) {
                    std::memcpy(out, kHexFields[chunk.data[i]].data(), 8);
                    out += kHexFieldSize;
                }
                break;
            case ExportType::RawBytes:
                std::memcpy(out, chunk.data, length);
                out += length;
                break;
            case ExportType::AsciiText:
            default:
                for (std::size_t i = 0; i < length; ++i) out[i] = kAsciiForms[chunk.data[i]];
                out += length;
                break;
        }
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

ExportResult failed(Failure::Kind kind, const std::string& path, SystemError error) {
    return {ExportStatus::Failed, fileFailure(kind, path, error)};
}

// Closes both and tells a failed read or write.
ExportResult finishExport(SerialFileReader& serial, BlockOutput& output,
                          const std::string& serialPath, const std::string& outputName) {
    const int readError = serial.readError();
    serial.close();
    const bool written = output.close();
    if (readError != 0)
        return failed(Failure::Kind::ReadInput, serialPath, cLibraryError(readError));
    if (!written) return failed(Failure::Kind::WriteOutput, outputName, output.writeError());
    return {};
}

// Writes the opened output and closes both. The last check of the progress callback comes once
// the output is whole, so that a cancel until then still keeps a named file's old contents.
ExportResult exportInto(SerialFileReader& serial, BlockOutput& output,
                        const std::string& serialPath, const std::string& outputName,
                        const ExportOptions& options, const ConversionProgress& progress) {
    const std::uint64_t total = progress ? serial.size().value_or(0) : 0;
    if (!writeChunks(serial, output, options, progress, total)) {
        serial.close();
        output.close();
        return {ExportStatus::Cancelled, {}};
    }
    ExportResult result = finishExport(serial, output, serialPath, outputName);
    if (result.status == ExportStatus::Exported && progress && !progress(total, total))
        result.status = ExportStatus::Cancelled;
    return result;
}

bool openSerialFile(SerialFileReader& serial, const std::string& serialPath, ExportResult& result) {
    if (serial.open(serialPath)) return true;
    result = {ExportStatus::Failed, openFailure(Failure::Kind::OpenInput, serialPath)};
    return false;
}

}  // namespace

// The output is written beside the named file and takes its place only when whole: a failure
// or a cancel leaves what was there before.
ExportResult exportToText(const std::string& serialPath, const ExportOptions& options,
                          const ConversionProgress& progress) {
    SerialFileReader serial;
    ExportResult result;
    if (!openSerialFile(serial, serialPath, result)) return result;
    ReplacingOutput target(options.fileName);
    std::FILE* file = target.open();
    if (file == nullptr)
        return failed(Failure::Kind::CreateOutput, options.fileName, target.openError());
    BlockOutput output;
    output.open(file);
    result = exportInto(serial, output, serialPath, options.fileName, options, progress);
    if (result.status != ExportStatus::Exported) return result;  // the target discards it
    if (!target.commit())
        return failed(Failure::Kind::WriteOutput, options.fileName, target.moveFailure());
    return result;
}

ExportResult exportToStream(const std::string& serialPath, std::FILE* stream,
                            const std::string& streamName, const ExportOptions& options,
                            const ConversionProgress& progress) {
    SerialFileReader serial;
    ExportResult result;
    if (!openSerialFile(serial, serialPath, result)) return result;
    BlockOutput output;
    output.attach(stream);
    return exportInto(serial, output, serialPath, streamName, options, progress);
}
