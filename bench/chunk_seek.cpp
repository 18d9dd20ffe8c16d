// Compares a chunk seek to the last chunk of a ~100 MB serial file with reading that file once.
// Usage: bench_chunk_seek [file path]   (default: a file in the temp folder; always deleted)

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/SerialFile.h"

namespace {

constexpr std::uint64_t kTargetSize = 100'000'000;
constexpr int kRuns = 5;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct Written {
    std::uint64_t size = 0;
    std::uint64_t chunks = 0;
    std::uint64_t lastStart = 0;
    std::uint32_t lastOffset = 0;
};

// Recorder-like chunks: 1..255 bytes, offsets that often repeat and sometimes jump, data that
// now and then holds a chunk marker or a line end.
std::optional<Written> writeRecording(const std::string& path) {
    SerialFileWriter writer;
    if (!writer.open(path)) return std::nullopt;
    std::mt19937 random(12345);
    Written written;
    std::uint8_t data[kMaxChunkData];
    std::uint32_t offset = 0;
    while (written.size < kTargetSize) {
        auto length = static_cast<std::uint8_t>(1 + random() % kMaxChunkData);
        for (std::uint8_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(random());
        if (length >= 3 && random() % 4 == 0) {
            std::size_t at = random() % (length - 2u);
            data[at] = kChunkMarker0;
            data[at + 1] = kChunkMarker1;
            data[at + 2] = kChunkTerminator;
        }
        offset += random() % 8 == 0 ? 1 + random() % 20 : 0;
        // The last chunk gets an offset of its own, so the seek has to walk to it.
        bool last = written.size + 8 + length >= kTargetSize;
        if (last) ++offset;
        if (!writer.writeChunk(offset, data, length)) return std::nullopt;
        written.lastStart = written.size;
        written.lastOffset = offset;
        written.size += 8 + length;
        ++written.chunks;
    }
    if (!writer.close()) return std::nullopt;
    return written;
}

template <typename Work>
double bestMilliseconds(Work work) {
    double best = 0;
    for (int run = 0; run < kRuns; ++run) {
        auto begin = std::chrono::steady_clock::now();
        work();
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - begin;
        if (run == 0 || took.count() < best) best = took.count();
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    if (argc > 1) {
        path = argv[1];
    } else {
        std::error_code error;
        auto folder = std::filesystem::temp_directory_path(error);
        if (error) {
            std::fprintf(stderr, "no temp folder: %s\n", error.message().c_str());
            return 1;
        }
        path = (folder / "veltrane-bench-chunk-seek.ser").string();
    }

    std::optional<Written> written = writeRecording(path);
    if (!written) {
        std::fprintf(stderr, "could not write %s\n", path.c_str());
        std::remove(path.c_str());
        return 1;
    }

    std::uint64_t readBytes = 0;
    double readTime = bestMilliseconds([&] {
        readBytes = 0;
        std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
        if (!file) return;
        std::vector<char> block(1 << 20);
        while (std::size_t got = std::fread(block.data(), 1, block.size(), file.get()))
            readBytes += got;
    });

    std::optional<std::uint64_t> found;
    double seekTime = bestMilliseconds([&] {
        SerialFileReader file;
        found = file.open(path) ? seekChunk(file, written->lastOffset) : std::nullopt;
    });

    std::remove(path.c_str());

    std::printf("file:        %llu bytes, %llu chunks\n",
                static_cast<unsigned long long>(written->size),
                static_cast<unsigned long long>(written->chunks));
    std::printf("plain read:  %.1f ms (%llu bytes, best of %d)\n", readTime,
                static_cast<unsigned long long>(readBytes), kRuns);
    std::printf("chunk seek:  %.1f ms to offset %lu -> %s (best of %d)\n", seekTime,
                static_cast<unsigned long>(written->lastOffset),
                found == written->lastStart ? "last chunk" : "WRONG POSITION", kRuns);
    std::printf("seek / read: %.2f\n", readTime > 0 ? seekTime / readTime : 0.0);
    return readBytes == written->size && found == written->lastStart ? 0 : 1;
}
