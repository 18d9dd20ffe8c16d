#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What every fuzz target needs: scratch files for the file-based code under test, a model of the
// chunk reader over bytes in memory, and a failed check that stops the run as a crash would.

using Bytes = std::vector<std::uint8_t>;

// A path in this process's scratch folder (removed at a normal exit).
std::string scratchFile(const std::string& name);
// Writes bytes to the named scratch file and returns its path.
std::string putScratch(const std::string& name, const std::uint8_t* data, std::size_t size);
Bytes readScratch(const std::string& path);

// Prints what failed and aborts, which libFuzzer reports with the input that did it.
void check(bool condition, const char* what);

struct ModelChunk {
    std::uint64_t start;
    std::uint32_t timeOffset;
    Bytes data;
    bool operator==(const ModelChunk&) const = default;
};

// The chunk reader's walk written plainly over bytes in memory: what a reader with this resync
// step must deliver.
std::vector<ModelChunk> modelChunks(const Bytes& file, unsigned step);
// The data bytes of all chunks, in order.
Bytes joinedData(const std::vector<ModelChunk>& chunks);
