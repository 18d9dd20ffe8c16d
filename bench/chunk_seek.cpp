// Times the bisecting chunk seek against the linear one, to the start, middle and end of two
// files: a ~500 MB recording as the recorder writes it, and a 5 GiB file of recording stretches
// between long garbage stretches. Page cache warm, and cold where the platform can drop a file's
// pages. Usage: bench_chunk_seek [folder]   (default: the temp folder; the files are deleted)

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/PageCache.h"
#include "engine/BisectingChunkSeek.h"
#include "engine/SerialFile.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kRecordingSize = 500'000'000;
constexpr std::uint64_t kGarbledSize = std::uint64_t{5} << 30;
constexpr std::uint64_t kStretchSize = 8 << 20;  // recording between two garbage stretches

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Written {
    std::uint64_t size = 0;
    std::uint64_t chunks = 0;
    std::uint32_t lastOffset = 0;
    // Offsets found at 1% and 50% of the file: targets near its start and in its middle.
    std::uint32_t startOffset = 0;
    std::uint32_t middleOffset = 0;
};

// Recorder-like chunks: 1..255 bytes, offsets that often repeat and sometimes jump, data that
// now and then holds a chunk marker or a line end. Appends to out; returns each chunk's start.
std::vector<std::size_t> encodeRecording(std::mt19937& random, std::size_t size, Bytes& out,
                                         std::uint32_t& offset) {
    std::vector<std::size_t> starts;
    std::uint8_t data[kMaxChunkData];
    std::uint8_t encoded[kMaxChunkSize];
    while (out.size() < size) {
        auto length = static_cast<std::uint8_t>(1 + random() % kMaxChunkData);
        for (std::uint8_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>(random());
        if (length >= 3 && random() % 4 == 0) {
            std::size_t at = random() % (length - 2u);
            data[at] = kChunkMarker0;
            data[at + 1] = kChunkMarker1;
            data[at + 2] = kChunkTerminator;
        }
        offset += random() % 8 == 0 ? 1 + random() % 20 : 0;
        starts.push_back(out.size());
        out.insert(out.end(), encoded, encoded + encodeChunk(offset, data, length, encoded));
    }
    return starts;
}

void note(Written& written, std::uint64_t position, std::uint32_t offset) {
    if (written.startOffset == 0 && position >= written.size / 100) written.startOffset = offset;
    if (written.middleOffset == 0 && position >= written.size / 2) written.middleOffset = offset;
    written.lastOffset = offset;
}

std::optional<Written> writeRecording(const std::string& path) {
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) return std::nullopt;
    std::mt19937 random(12345);
    Written written;
    written.size = kRecordingSize;
    std::uint32_t offset = 0;
    std::uint64_t position = 0;
    Bytes block;
    while (position < kRecordingSize) {
        block.clear();
        const std::vector<std::size_t> starts = encodeRecording(random, 1 << 20, block, offset);
        for (std::size_t start : starts) note(written, position + start, offset);
        written.chunks += starts.size();
        if (std::fwrite(block.data(), 1, block.size(), out.get()) != block.size())
            return std::nullopt;
        position += block.size();
    }
    written.size = position;
    if (std::fclose(out.release()) != 0) return std::nullopt;
    return written;
}

// One recording stretch, written again and again with its offsets moved on, between stretches of
// 1..3 MiB of random bytes without a marker byte: big blocks, so 5 GiB are written fast.
std::optional<Written> writeGarbled(const std::string& path) {
    File out(std::fopen(path.c_str(), "wb"));
    if (!out) return std::nullopt;
    std::mt19937 random(54321);
    Bytes stretch;
    std::uint32_t stretchEnd = 0;
    const std::vector<std::size_t> starts =
        encodeRecording(random, kStretchSize, stretch, stretchEnd);
    std::vector<std::uint32_t> offsets;  // the stretch's own, moved on by each round's base
    for (std::size_t start : starts) {
        std::uint32_t offset = 0;
        for (int byte = 3; byte >= 0; --byte) offset = offset << 8 | stretch[start + 2 + byte];
        offsets.push_back(offset);
    }
    Bytes garbage(3 << 20);
    for (auto& byte : garbage) {
        byte = static_cast<std::uint8_t>(random());
        if (byte == kChunkMarker0) byte = 0;
    }
    Written written;
    written.size = kGarbledSize;
    std::uint64_t position = 0;
    for (std::uint32_t base = 0; position < kGarbledSize; base += stretchEnd + 1) {
        const std::size_t garbageLength = (1 << 20) + random() % (2 << 20);
        if (std::fwrite(garbage.data(), 1, garbageLength, out.get()) != garbageLength)
            return std::nullopt;
        position += garbageLength;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const std::uint32_t offset = base + offsets[i];
            for (int byte = 0; byte < 4; ++byte)
                stretch[starts[i] + 2 + byte] = static_cast<std::uint8_t>(offset >> (8 * byte));
            note(written, position + starts[i], offset);
        }
        if (std::fwrite(stretch.data(), 1, stretch.size(), out.get()) != stretch.size())
            return std::nullopt;
        position += stretch.size();
        written.chunks += starts.size();
    }
    written.size = position;
    if (std::fclose(out.release()) != 0) return std::nullopt;
    return written;
}

struct Timed {
    double milliseconds = 0;
    std::optional<std::uint64_t> found;
};

// Best of runs; each run on a freshly opened file, from the disk when cold.
template <typename Seek>
std::optional<Timed> timeSeek(const std::string& path, bool cold, int runs, Seek seek) {
    Timed best;
    for (int run = 0; run < runs; ++run) {
        if (cold && !dropFromPageCache(path)) return std::nullopt;
        SerialFileReader file;
        if (!file.open(path)) return std::nullopt;
        auto begin = std::chrono::steady_clock::now();
        std::optional<std::uint64_t> found = seek(file);
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - begin;
        if (run == 0 || took.count() < best.milliseconds) best = {took.count(), found};
    }
    return best;
}

// Prints one line per target and temperature; false when the two seeks disagree.
bool compareSeeks(const std::string& name, const std::string& path, const Written& written,
                  int linearRuns) {
    std::printf("== %s: %llu bytes, %llu chunks\n", name.c_str(),
                static_cast<unsigned long long>(written.size),
                static_cast<unsigned long long>(written.chunks));
    const std::pair<const char*, std::uint32_t> targets[] = {{"start", written.startOffset},
                                                             {"middle", written.middleOffset},
                                                             {"end", written.lastOffset}};
    bool agree = true;
    bool coldNoted = false;
    for (bool cold : {false, true}) {
        for (auto [where, target] : targets) {
            auto bisect = timeSeek(path, cold, 5,
                                   [&](SerialFileReader& file) { return seekChunk(file, target); });
            auto linear = timeSeek(path, cold, linearRuns, [&](SerialFileReader& file) {
                return seekChunkLinear(file, target);
            });
            if (!bisect || !linear) {
                if (cold && !coldNoted)
                    std::printf("   cold: not measured, the page cache cannot be dropped here\n");
                coldNoted = true;
                continue;
            }
            const bool same = bisect->found == linear->found && bisect->found.has_value();
            agree = agree && same;
            std::printf(
                "   %-4s %-6s offset %-9lu bisecting %8.3f ms   linear %9.1f ms   ratio %.5f%s\n",
                cold ? "cold" : "warm", where, static_cast<unsigned long>(target),
                bisect->milliseconds, linear->milliseconds,
                linear->milliseconds > 0 ? bisect->milliseconds / linear->milliseconds : 0.0,
                same ? "" : "   DIFFERENT ANSWERS");
        }
    }
    return agree;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder;
    if (argc > 1) {
        folder = argv[1];
    } else {
        std::error_code error;
        folder = std::filesystem::temp_directory_path(error);
        if (error) {
            std::fprintf(stderr, "no temp folder: %s\n", error.message().c_str());
            return 1;
        }
    }
    bool agree = true;
    const struct {
        const char* name;
        const char* file;
        std::optional<Written> (*write)(const std::string&);
        int linearRuns;
    } files[] = {
        {"500 MB recording", "veltrane-bench-seek-recording.ser", writeRecording, 3},
        {"5 GiB with garbage stretches", "veltrane-bench-seek-garbled.ser", writeGarbled, 1}};
    for (const auto& file : files) {
        const std::string path = (folder / file.file).string();
        std::optional<Written> written = file.write(path);
        if (!written) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            std::remove(path.c_str());
            return 1;
        }
        agree = compareSeeks(file.name, path, *written, file.linearRuns) && agree;
        std::remove(path.c_str());
    }
    return agree ? 0 : 1;
}
