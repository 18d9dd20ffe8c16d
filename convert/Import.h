#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "convert/ConversionProgress.h"
#include "engine/ChoiceTable.h"
#include "engine/Failure.h"

class LogWriter;

// Input bytes per chunk of an imported serial file.
inline constexpr int kImportChunkSize = 10;
// The speed assumed when none above 0 is given, as in the Import dialog.
inline constexpr int kDefaultImportSpeed = 9600;

// What an import reads; each at the position of its entry in the Import dialog's format list.
// Any other value reads raw bytes.
enum class ImportFormat : int {
    RawBytes = 0,  // the bytes as they are
    HexText = 1,   // hexadecimal text, as readHexBytes reads it
};

inline constexpr Choice<ImportFormat> kImportFormatTable[] = {
    {ImportFormat::RawBytes, "Raw data", "raw"},
    {ImportFormat::HexText, "ASCII Hex data", "hex"},
};
inline constexpr ImportFormat kDefaultImportFormat = ImportFormat::RawBytes;

// The file being imported, read in large blocks. It keeps the one flag the conversion loop goes
// by: whether a read has met the end of the input (a read error counts as the end too, and is
// told apart by readFailed).
class ImportInput {
public:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    ImportInput() = default;
    ~ImportInput();
    ImportInput(const ImportInput&) = delete;
    ImportInput& operator=(const ImportInput&) = delete;

    bool open(const std::string& path);  // "rb"
    bool isOpen() const { return file_ != nullptr; }
    void close();

    // The input's size when opened, 0 when it has none (a device, a pipe).
    std::uint64_t size() const { return size_; }
    // Bytes taken so far.
    std::uint64_t position() const { return blockStart_ + next_; }

    bool endSeen() const { return endSeen_; }
    bool readFailed() const { return readError_ != 0; }
    int readError() const { return readError_; }  // errno of the failed read; 0 when none

    // The byte at the read point, not taken; -1 when there is none, which marks the end seen.
    int peek() {
        if (next_ < length_) return block_[next_];
        return refill() ? block_[next_] : -1;
    }
    void advance() { ++next_; }  // only after a peek that gave a byte
    // Takes up to count bytes; fewer only when the end was met.
    std::size_t take(std::uint8_t* out, std::size_t count);

private:
    bool refill();

    std::FILE* file_ = nullptr;
    std::unique_ptr<std::uint8_t[]> block_;
    std::size_t next_ = 0;
    std::size_t length_ = 0;
    std::uint64_t blockStart_ = 0;
    std::uint64_t size_ = 0;
    bool endSeen_ = false;
    int readError_ = 0;
};

// Up to count bytes as they are; the count read, 0 at the end of the input.
int readRawBytes(ImportInput& input, std::uint8_t* buffer, int count);

// Up to count numbers of hexadecimal text, each read as the C library's "%02X" reads it: white
// space skipped, then at most two characters: an optional sign, an optional 0x or 0X after a
// 0, hex digits in either case; the low byte of the (negated, with '-') value is stored. One
// difference: "0x" or "0X" followed by a hex digit is a prefix and does not count towards the
// two, so the exporter's "0x41 " reads back as 0x41.
// Any other character separates numbers and is passed over, so nothing can stop the input
// from moving on. Returns the count stored, or -1 when the end had been seen before the call.
int readHexBytes(ImportInput& input, std::uint8_t* buffer, int count);

enum class ImportStatus {
    Converted,  // the loop ran to the end of the input (chunks may be 0)
    Failed,     // failure says what and why; nothing made, or the output file as it was
    Cancelled,  // the progress callback said stop; the output file as it was
};

struct ImportResult {
    ImportStatus status = ImportStatus::Converted;
    std::uint64_t chunks = 0;
    std::uint64_t bytes = 0;
    // OpenInput and CreateOutput (nothing made), ReadInput (of the input part-way) or
    // WriteOutput (a full disk), each with the system's reason.
    Failure failure;
};

// Cuts the input into chunks of up to 10 bytes and writes them to a new serial file at
// outputPath, each stamped with the time at which it would have arrived at speed bit/s with
// 10 bit times per byte. The input is opened before the output is made. Open failures are logged.
// The file is written beside outputPath and takes its place only when whole: a
// conversion cut short by a failed read or write, or cancelled, leaves outputPath as it was
// (missing, or with its old contents) and nothing beside it. The progress callback's last call
// comes right before that move; a device named as the output is written straight.
ImportResult importToSerialFile(const std::string& inputPath, const std::string& outputPath,
                                int speed, ImportFormat format, LogWriter& log,
                                const ConversionProgress& progress = {});
