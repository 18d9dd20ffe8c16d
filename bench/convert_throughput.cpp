// Export and import of 100 MB of data, each timed against xxd on the same bytes: our exports
// and raw import against its hex dump, our hex import against its reverse (xxd -r -p).
// Usage: bench_convert_throughput   (works in a folder under the temp folder, removed after)
// The Windows build times our side only: xxd is a program of the host, not of Wine.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "bench/BenchSupport.h"
#include "convert/Import.h"
#include "convert/TextExport.h"
#include "engine/SerialFile.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

namespace {

constexpr std::uint64_t kDataSize = 100'000'000;
constexpr int kRuns = 3;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Recorder-like chunks of 1..255 bytes with offsets that often repeat and sometimes jump; the
// same data bytes, one after the other, go to a plain file for xxd.
bool writeInputs(const std::string& serialPath, const std::string& dataPath,
                 std::uint64_t& chunks) {
    SerialFileWriter serial;
    std::unique_ptr<std::FILE, FileCloser> data(std::fopen(dataPath.c_str(), "wb"));
    if (!serial.open(serialPath) || !data) return false;
    std::mt19937 random(4711);
    std::uint8_t bytes[kMaxChunkData];
    std::uint32_t offset = 0;
    std::uint64_t written = 0;
    chunks = 0;
    while (written < kDataSize) {
        auto length = static_cast<std::uint8_t>(
            std::min<std::uint64_t>(1 + random() % kMaxChunkData, kDataSize - written));
        // Mostly printable text with some binary, as devices send.
        for (std::uint8_t i = 0; i < length; ++i)
            bytes[i] =
                static_cast<std::uint8_t>(random() % 5 == 0 ? random() : 0x20 + random() % 95);
        offset += random() % 8 == 0 ? 1 + random() % 20 : 0;
        if (!serial.writeChunk(offset, bytes, length)) return false;
        if (std::fwrite(bytes, 1, length, data.get()) != length) return false;
        written += length;
        ++chunks;
    }
    return serial.close() && std::fclose(data.release()) == 0;
}

double bestMilliseconds(const std::function<bool()>& work, bool& ok) {
    double best = 0;
    ok = true;
    for (int run = 0; run < kRuns; ++run) {
        auto begin = BenchClock::now();
        ok = work() && ok;
        std::chrono::duration<double, std::milli> took = BenchClock::now() - begin;
        if (run == 0 || took.count() < best) best = took.count();
    }
    return best;
}

std::uint64_t fileSize(const std::string& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

std::string shellQuoted(const std::string& path) { return "'" + path + "'"; }

struct Row {
    const char* name;
    double ms;
    bool ok;
    std::string output;
};

void printRow(const Row& row, std::optional<double> against) {
    std::printf("%-22s %9.1f ms  %7.1f MB/s of data  out %5llu MB", row.name, row.ms,
                row.ms > 0 ? kDataSize / 1000.0 / row.ms : 0.0,
                static_cast<unsigned long long>(fileSize(row.output) / 1'000'000));
    if (against && *against > 0) std::printf("  ratio %.2f", row.ms / *against);
    std::printf("%s\n", row.ok ? "" : "  FAILED");
}

}  // namespace

int main() {
    auto folder = benchFolder("veltrane-bench-convert");
    auto path = [&](const char* name) { return (folder / name).string(); };
    const std::string serialPath = path("recording.ser");
    const std::string dataPath = path("data.bin");

    std::uint64_t chunks = 0;
    if (!writeInputs(serialPath, dataPath, chunks)) {
        std::fprintf(stderr, "could not write the inputs in %s\n", folder.string().c_str());
        std::filesystem::remove_all(folder);
        return 1;
    }
    std::printf("input: %llu data bytes in %llu chunks, serial file %llu bytes; best of %d\n",
                static_cast<unsigned long long>(kDataSize), static_cast<unsigned long long>(chunks),
                static_cast<unsigned long long>(fileSize(serialPath)), kRuns);

    auto exportRow = [&](const char* name, ExportType type, const char* output) {
        ExportOptions options;  // every column and the heading on
        options.exportType = type;
        options.fileName = path(output);
        Row row{name, 0, true, options.fileName};
        row.ms = bestMilliseconds(
            [&] { return exportToText(serialPath, options).status == ExportStatus::Exported; },
            row.ok);
        return row;
    };
    std::vector<Row> exports;
    exports.push_back(exportRow("export hex", ExportType::HexText, "export-hex.txt"));
    exports.push_back(exportRow("export ascii", ExportType::AsciiText, "export-ascii.txt"));
    exports.push_back(exportRow("export raw", ExportType::RawBytes, "export-raw.bin"));
    // The raw export must give back exactly the data.
    if (fileSize(path("export-raw.bin")) != kDataSize) exports.back().ok = false;

    const LogSettings noLogging;
    auto importRow = [&](const char* name, const std::string& input, ImportFormat format,
                         const char* output) {
        Row row{name, 0, true, path(output)};
        row.ms = bestMilliseconds(
            [&] {
                LogWriter log(noLogging);
                ImportResult result = importToSerialFile(input, row.output, 9600, format, log);
                return result.status == ImportStatus::Converted && result.bytes == kDataSize;
            },
            row.ok);
        return row;
    };
    Row rawImport = importRow("import raw", dataPath, ImportFormat::RawBytes, "import-raw.ser");

#ifdef _WIN32
    const bool haveXxd = false;
#else
    const bool haveXxd = std::system("xxd -v >/dev/null 2>&1") == 0;
#endif
    std::optional<double> dumpMs;
    std::optional<double> reverseMs;
    Row dump{"xxd (hex dump)", 0, false, path("dump.txt")};
    Row reverse{"xxd -r -p", 0, false, path("reverse.bin")};
    const std::string hexPath = path("data.hex");
    if (haveXxd) {
        dump.ms = bestMilliseconds(
            [&] {
                return std::system(
                           ("xxd " + shellQuoted(dataPath) + " > " + shellQuoted(dump.output))
                               .c_str()) == 0;
            },
            dump.ok);
        dumpMs = dump.ms;
        if (std::system(
                ("xxd -p " + shellQuoted(dataPath) + " > " + shellQuoted(hexPath)).c_str()) != 0) {
            std::fprintf(stderr, "xxd -p failed\n");
        } else {
            reverse.ms = bestMilliseconds(
                [&] {
                    return std::system(("xxd -r -p " + shellQuoted(hexPath) + " > " +
                                        shellQuoted(reverse.output))
                                           .c_str()) == 0;
                },
                reverse.ok);
            reverseMs = reverse.ms;
        }
    } else {
        // Our own plain hex text for the hex import: 30 bytes to a line, as xxd -p writes.
        std::unique_ptr<std::FILE, FileCloser> in(std::fopen(dataPath.c_str(), "rb"));
        std::unique_ptr<std::FILE, FileCloser> out(std::fopen(hexPath.c_str(), "wb"));
        static const char kDigits[] = "0123456789abcdef";
        std::vector<std::uint8_t> line(30);
        std::vector<char> text;
        while (in && out) {
            std::size_t got = std::fread(line.data(), 1, line.size(), in.get());
            if (got == 0) break;
            text.clear();
            for (std::size_t i = 0; i < got; ++i) {
                text.push_back(kDigits[line[i] >> 4]);
                text.push_back(kDigits[line[i] & 15]);
            }
            text.push_back('\n');
            std::fwrite(text.data(), 1, text.size(), out.get());
        }
    }
    Row hexImport = importRow("import hex", hexPath, ImportFormat::HexText, "import-hex.ser");

    std::printf("\n-- against the hex dump of xxd\n");
    if (haveXxd) printRow(dump, std::nullopt);
    for (const auto& row : exports) printRow(row, dumpMs);
    printRow(rawImport, dumpMs);
    std::printf("\n-- hex import against xxd -r -p (hex text %llu bytes)\n",
                static_cast<unsigned long long>(fileSize(hexPath)));
    if (haveXxd) printRow(reverse, std::nullopt);
    printRow(hexImport, reverseMs);
    if (!haveXxd) std::printf("\nxxd not run in this build: our times only\n");
    std::printf(
        "targets: ascii, raw export and raw import <= 1.0; hex export and hex import <= 2.0\n");

    bool ok = rawImport.ok && hexImport.ok && (!haveXxd || (dump.ok && reverse.ok));
    for (const auto& row : exports) ok = ok && row.ok;
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return ok ? 0 : 1;
}
