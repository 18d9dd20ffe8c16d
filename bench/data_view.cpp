// The data view's model over a big file: a 5 GiB sparse serial file with recorded chunks at its
// start and its end and a hole between (as a recording cut into a preallocated file leaves it).
// Prints the time to the first rows, to the rows near the end (once the index has crossed the
// hole), the index's own size, and the process's peak memory.
// Usage: bench_data_view [folder]   (default: the temp folder; the file is deleted)

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/PeakMemory.h"
#include "dataview/DataViewModel.h"
#include "engine/SerialFile.h"

namespace {

constexpr std::uint64_t kFileSize = std::uint64_t{5} << 30;
constexpr std::uint64_t kEndStretch = 64 << 20;  // recorded bytes at each end

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t writeChunks(std::FILE* file, std::mt19937& random, std::uint64_t bytes,
                          std::uint32_t& offset) {
    std::uint8_t data[kMaxChunkData];
    std::uint8_t encoded[kMaxChunkSize];
    std::uint64_t written = 0;
    std::uint64_t chunks = 0;
    while (written < bytes) {
        const auto length = static_cast<std::uint8_t>(1 + random() % kMaxChunkData);
        for (std::uint8_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(random());
        offset += random() % 8 == 0 ? 1 : 0;
        const std::size_t size = encodeChunk(offset, data, length, encoded);
        if (std::fwrite(encoded, 1, size, file) != size) return 0;
        written += size;
        ++chunks;
    }
    return chunks;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1]) : benchFolder("bench_data_view");
    const std::string path = (folder / "big.ser").string();
    std::uint64_t chunks = 0;
    {
        File file(std::fopen(path.c_str(), "wb"));
        if (!file) {
            std::printf("cannot create %s\n", path.c_str());
            return 1;
        }
        std::mt19937 random(7);
        std::uint32_t offset = 0;
        chunks += writeChunks(file.get(), random, kEndStretch, offset);
        // The hole: an even count of zero bytes, so the chunks after it keep playback's parity.
        if (std::fflush(file.get()) != 0) return 1;
        const std::uint64_t recorded = std::filesystem::file_size(path);
        std::filesystem::resize_file(path, kFileSize - kEndStretch - (kFileSize - recorded) % 2);
        if (std::fseek(file.get(), 0, SEEK_END) != 0) return 1;
        chunks += writeChunks(file.get(), random, kEndStretch, offset);
    }
    std::printf("file: %.2f GiB, %llu chunks (%.0f MiB recorded at each end, a hole between)\n",
                static_cast<double>(std::filesystem::file_size(path)) / (1 << 30),
                static_cast<unsigned long long>(chunks),
                static_cast<double>(kEndStretch) / (1 << 20));

    const auto start = std::chrono::steady_clock::now();
    DataViewModel model;
    if (model.open(path, false).happened()) {
        std::printf("cannot open %s\n", path.c_str());
        return 1;
    }
    while (model.rowCount() < 40) std::this_thread::sleep_for(std::chrono::microseconds(100));
    std::string shown;
    for (std::uint64_t row = 0; row < 40; ++row) shown += model.row(row).hex.substr(0, 2);
    std::printf("first 40 rows shown after   %8.3f s\n", secondsSince(start));
    while (!model.indexComplete()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const std::uint64_t rows = model.rowCount();
    for (std::uint64_t row = rows - 40; row < rows; ++row) shown += model.row(row).hex.substr(0, 2);
    std::printf("last 40 rows shown after    %8.3f s (the whole index: %llu rows, %.1f MiB)\n",
                secondsSince(start), static_cast<unsigned long long>(rows),
                static_cast<double>(rows * sizeof(DataRowEntry)) / (1 << 20));
    // Scrolling anywhere once indexed: a page of rows at random places.
    std::mt19937_64 random(11);
    const auto scroll = std::chrono::steady_clock::now();
    for (int page = 0; page < 100; ++page) {
        const std::uint64_t first = random() % (rows - 40);
        for (std::uint64_t row = first; row < first + 40; ++row) shown += model.row(row).ascii[0];
    }
    std::printf("a page of 40 rows anywhere  %8.3f ms (mean of 100)\n",
                secondsSince(scroll) * 1000 / 100);
    std::printf("peak memory                 %8.1f MiB (%zu bytes of row text read)\n",
                peakMemoryMiB(), shown.size());
    model.close();
    std::filesystem::remove(path);
    if (argc <= 1) std::filesystem::remove_all(folder);
    return 0;
}
