// The chunk reader over any bytes, with both resync steps, against the plain model; and the
// writer's round trip: the same bytes read as chunk records, written and read back.
#include <cstddef>
#include <cstdint>

#include "engine/SerialFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

std::vector<ModelChunk> readAll(const std::string& path, unsigned step) {
    SerialFileReader file;
    check(file.open(path), "serial file opened");
    ChunkReader reader(file, step);
    std::vector<ModelChunk> chunks;
    Chunk chunk;
    while (reader.next(chunk))
        chunks.push_back(
            {chunk.start, chunk.timeOffset, Bytes(chunk.data, chunk.data + chunk.length)});
    return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = putScratch("any.ser", data, size);
    const Bytes bytes(data, data + size);
    for (unsigned step : {kPlaybackResyncStep, kExportResyncStep})
        check(readAll(path, step) == modelChunks(bytes, step), "reader delivers the model's chunks");

    // Records: offset increase (1 byte), length (1 byte), that many data bytes.
    std::vector<ModelChunk> written;
    SerialFileWriter writer;
    const std::string roundTrip = scratchFile("written.ser");
    check(writer.open(roundTrip), "writer opened");
    std::uint64_t position = 0;
    std::uint32_t offset = 0;
    for (std::size_t at = 0; at + 2 <= size;) {
        offset += data[at];
        const std::uint8_t length = static_cast<std::uint8_t>(std::min<std::size_t>(
            data[at + 1], std::min<std::size_t>(size - at - 2, kMaxChunkData)));
        const std::uint8_t* chunkData = data + at + 2;
        check(writer.writeChunk(offset, chunkData, length), "chunk written");
        written.push_back({position, offset, Bytes(chunkData, chunkData + length)});
        position += kChunkOverhead + length;
        at += 2 + length;
    }
    check(writer.close(), "writer closed");
    for (unsigned step : {kPlaybackResyncStep, kExportResyncStep})
        check(readAll(roundTrip, step) == written, "written chunks read back identically");
    return 0;
}
