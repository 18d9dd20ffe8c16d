#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>

#include "tests/support/TempDir.h"

namespace {

TempDir& scratch() {
    static TempDir dir;
    return dir;
}

}  // namespace

std::string scratchFile(const std::string& name) { return scratch().file(name); }

std::string putScratch(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::string path = scratchFile(name);
    check(writeWholeFile(path, Bytes(data, data + size)), "scratch file written");
    return path;
}

Bytes readScratch(const std::string& path) { return readWholeFile(path); }

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

std::vector<ModelChunk> modelChunks(const Bytes& file, unsigned step) {
    std::vector<ModelChunk> chunks;
    const std::size_t size = file.size();
    std::size_t cursor = 0;
    while (cursor + 2 <= size) {
        if (file[cursor] != 0x53 || file[cursor + 1] != 0x01) {
            cursor += step;
            continue;
        }
        if (cursor + 7 > size) break;
        const std::size_t length = file[cursor + 6];
        if (cursor + 7 + length > size) break;
        std::uint32_t offset = 0;
        for (int i = 3; i >= 0; --i) offset = offset << 8 | file[cursor + 2 + i];
        chunks.push_back({cursor, offset,
                          Bytes(file.begin() + cursor + 7, file.begin() + cursor + 7 + length)});
        if (cursor + 7 + length == size) break;  // no terminator: delivered, then the end
        cursor += 6 + length;
    }
    return chunks;
}

Bytes joinedData(const std::vector<ModelChunk>& chunks) {
    Bytes out;
    for (const auto& chunk : chunks) out.insert(out.end(), chunk.data.begin(), chunk.data.end());
    return out;
}
