#include "convert/Import.h"

#include <sys/types.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "convert/BlockOutput.h"
#include "convert/ReplacingOutput.h"
#include "engine/AskEvery.h"
#include "engine/SerialFile.h"
#include "log/LogWriter.h"

namespace {

constexpr std::uint8_t kNotHex = 0xFF;

constexpr std::array<std::uint8_t, 256> makeHexValues() {
    std::array<std::uint8_t, 256> values{};
    for (auto& value : values) value = kNotHex;
    for (int digit = 0; digit < 10; ++digit) values['0' + digit] = static_cast<std::uint8_t>(digit);
    for (int digit = 0; digit < 6; ++digit) {
        values['A' + digit] = static_cast<std::uint8_t>(10 + digit);
        values['a' + digit] = static_cast<std::uint8_t>(10 + digit);
    }
    return values;
}
constexpr auto kHexValues = makeHexValues();

// The C locale's white space, which the library skips before a number.
constexpr bool isSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Low 32 bits of the truncated tenths, as the recorder keeps them; a double beyond 64 bits
// cannot be converted directly.
std::uint32_t tenthsAt(double seconds) {
    double tenths = seconds * 10.0;
    if (tenths < 18446744073709551616.0)
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(tenths));
    return static_cast<std::uint32_t>(std::fmod(std::trunc(tenths), 4294967296.0));
}

void appendChunk(BlockOutput& output, std::uint32_t timeOffset, const std::uint8_t* data,
                 int length) {
    std::uint8_t* out = output.room(kChunkOverhead + kImportChunkSize);
    output.commit(encodeChunk(timeOffset, data, static_cast<std::uint8_t>(length), out));
}

}  // namespace

// ---- ImportInput

ImportInput::~ImportInput() { close(); }

bool ImportInput::open(const std::string& path) {
    close();
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::setvbuf(file, nullptr, _IONBF, 0);  // the block is the buffer
    size_ = 0;
    if (fseeko(file, 0, SEEK_END) == 0) {
        const off_t end = ftello(file);
        if (end > 0) size_ = static_cast<std::uint64_t>(end);
        std::rewind(file);  // also clears what a device made of the seek
    }
    file_ = file;
    if (!block_) block_ = std::make_unique<std::uint8_t[]>(kBlockSize);
    next_ = 0;
    length_ = 0;
    blockStart_ = 0;
    endSeen_ = false;
    readError_ = 0;
    return true;
}

void ImportInput::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    next_ = 0;
    length_ = 0;
}

bool ImportInput::refill() {
    blockStart_ += length_;
    next_ = 0;
    errno = 0;
    length_ = file_ ? std::fread(block_.get(), 1, kBlockSize, file_) : 0;
    if (length_ > 0) return true;
    endSeen_ = true;
    if (!file_ || std::ferror(file_)) readError_ = errno != 0 ? errno : EIO;
    return false;
}

std::size_t ImportInput::take(std::uint8_t* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (next_ == length_ && !refill()) break;
        std::size_t part = std::min(count - done, length_ - next_);
        std::memcpy(out + done, block_.get() + next_, part);
        next_ += part;
        done += part;
    }
    return done;
}

// ---- Readers

int readRawBytes(ImportInput& input, std::uint8_t* buffer, int count) {
    if (count <= 0) return 0;
    return static_cast<int>(input.take(buffer, static_cast<std::size_t>(count)));
}

int readHexBytes(ImportInput& input, std::uint8_t* buffer, int count) {
    if (input.endSeen()) return -1;
    int stored = 0;
    while (stored < count && !input.endSeen()) {
        int c = input.peek();
        while (isSpace(c)) {
            input.advance();
            c = input.peek();
        }
        if (c < 0) break;

        // One field of at most two characters. Like the library, look at the character after
        // the field even when the width is used up: at the end of the input that marks the end
        // seen, which the conversion loop goes by.
        int width = 2;
        bool sign = false;
        bool negative = false;
        bool matched = false;
        unsigned value = 0;
        if (c == '+' || c == '-') {
            sign = true;
            negative = c == '-';
            input.advance();
            --width;
            c = input.peek();
        }
        if (width > 0 && c == '0') {
            matched = true;
            input.advance();
            --width;
            c = input.peek();
            if (width > 0 && (c == 'x' || c == 'X')) {  // "0x" alone reads as 0
                input.advance();
                --width;
                c = input.peek();
                // A prefix, as the exporter writes it: the two digits after it make the number.
                if (c >= 0 && kHexValues[c] != kNotHex) width = 2;
            }
        }
        while (width > 0 && c >= 0 && kHexValues[c] != kNotHex) {
            matched = true;
            value = value * 16 + kHexValues[c];
            input.advance();
            --width;
            c = input.peek();
        }

        if (matched) {
            buffer[stored++] = static_cast<std::uint8_t>(negative ? 0u - value : value);
        } else if (!sign && c >= 0) {
            // Neither white space nor a number: a separator. The library would stop in front of
            // it for good; passing over it keeps the conversion moving.
            input.advance();
        }
        // A lone sign has been taken; what follows it is looked at afresh.
    }
    return stored;
}

// ---- The conversion

namespace {

void fail(ImportResult& result, Failure::Kind kind, const std::string& path, SystemError error) {
    result.status = ImportStatus::Failed;
    result.failure = fileFailure(kind, path, error);
}

// Time offsets of the chunks, in tenths of a second, at speed bit/s with ten bit times a byte.
class ImportClock {
public:
    // Ten bytes of ten bit times each, in seconds: divided first, then multiplied, each step
    // rounded to double.
    explicit ImportClock(int speed) : step_((10.0 / speed) * 10.0) {}
    std::uint32_t now() const { return tenthsAt(start_); }
    // Offsets come from this running sum, truncated, and not from the chunk number times the
    // step: the two differ (at 300 bit/s the seventh chunk lands on 19, not 20). The sum
    // advances on every pass, a pass without bytes included.
    void pass() { start_ += step_; }

private:
    double step_;
    double start_ = 0.0;
};

// Cuts the whole input into chunks; false when the progress callback said stop.
bool writeChunks(ImportInput& input, BlockOutput& output, int speed, ImportFormat format,
                 const ConversionProgress& progress, ImportResult& result) {
    ImportClock clock(speed);
    const bool hex = format == ImportFormat::HexText;
    std::uint8_t data[kImportChunkSize];
    const std::uint64_t total = input.size();
    AskEvery reporting(kProgressStep, static_cast<bool>(progress));
    // A fresh input has not met its end, so even an empty one makes one pass. A full disk stays
    // full: converting on would only take time.
    while (!input.endSeen() && !output.failed()) {
        if (reporting.due(input.position()) && !progress(input.position(), total)) return false;
        int n = hex ? readHexBytes(input, data, kImportChunkSize)
                    : readRawBytes(input, data, kImportChunkSize);
        if (n > 0) {
            appendChunk(output, clock.now(), data, n);
            ++result.chunks;
            result.bytes += static_cast<std::uint64_t>(n);
        }
        clock.pass();
    }
    return true;
}

// A part of the input could pass for all of it, so nothing of a cut-short conversion is kept:
// the target discards it and keeps what it held. The last check of the progress callback comes
// once the output is whole, right before it takes the target's place.
void finishImport(ImportInput& input, BlockOutput& output, ReplacingOutput& target,
                  const std::string& inputPath, const std::string& outputPath,
                  const ConversionProgress& progress, ImportResult& result) {
    const bool written = output.close();
    const int readError = input.readError();
    const std::uint64_t done = input.position();
    const std::uint64_t total = input.size();
    input.close();
    if (readError != 0) {
        fail(result, Failure::Kind::ReadInput, inputPath, cLibraryError(readError));
    } else if (!written) {
        fail(result, Failure::Kind::WriteOutput, outputPath, output.writeError());
    } else if (progress && !progress(done, total)) {
        result.status = ImportStatus::Cancelled;
    } else if (!target.commit()) {
        fail(result, Failure::Kind::WriteOutput, outputPath, target.moveFailure());
    }
}

}  // namespace

ImportResult importToSerialFile(const std::string& inputPath, const std::string& outputPath,
                                int speed, ImportFormat format, LogWriter& log,
                                const ConversionProgress& progress) {
    ImportResult result;
    ImportInput input;
    if (!input.open(inputPath)) {
        fail(result, Failure::Kind::OpenInput, inputPath, lastCLibraryError());
        log.writeLine("Error opening file to import from: " + inputPath);
        return result;
    }
    // Written beside the named file, which it replaces only when whole.
    ReplacingOutput target(outputPath);
    std::FILE* file = target.open();
    if (file == nullptr) {
        log.writeLine("Error opening file to import to: " + outputPath);
        fail(result, Failure::Kind::CreateOutput, outputPath, target.openError());
        return result;
    }
    BlockOutput output;
    output.open(file);
    if (!writeChunks(input, output, speed > 0 ? speed : kDefaultImportSpeed, format, progress,
                     result)) {
        result.status = ImportStatus::Cancelled;
        return result;  // the target discards what was written
    }
    finishImport(input, output, target, inputPath, outputPath, progress, result);
    return result;
}
