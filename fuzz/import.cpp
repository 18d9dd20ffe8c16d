// Raw and hexadecimal import of any bytes: each makes a serial file of whole chunks of 1 to 10
// bytes, as many as it says, with offsets that never go back; the raw form holds the input.
// Input: a 2-byte speed, then the file to import.
#include "convert/Import.h"

#include <cstddef>
#include <cstdint>

#include "engine/SerialFile.h"
#include "fuzz/FuzzSupport.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // Signed, so that 0 and negative speeds (taken as 9600) are tried too.
    const int speed = static_cast<std::int16_t>(data[0] | data[1] << 8);
    const Bytes input(data + 2, data + size);
    const std::string inputPath = putScratch("input", input.data(), input.size());
    const std::string outputPath = scratchFile("imported.ser");

    for (ImportFormat format : {ImportFormat::RawBytes, ImportFormat::HexText}) {
        LogWriter log(LogSettings{});
        const ImportResult result = importToSerialFile(inputPath, outputPath, speed, format, log);
        check(result.status == ImportStatus::Converted, "converted");
        check(!result.failure.happened(), "no failure");
        const Bytes file = readScratch(outputPath);
        const std::vector<ModelChunk> chunks = modelChunks(file, kPlaybackResyncStep);
        std::uint64_t end = 0;
        std::uint32_t offset = 0;
        for (const auto& chunk : chunks) {
            check(chunk.start == end, "chunks follow each other");
            check(!chunk.data.empty() && chunk.data.size() <= kImportChunkSize, "1 to 10 bytes");
            check(chunk.timeOffset >= offset, "offsets never go back");
            end = chunk.start + kChunkOverhead + chunk.data.size();
            check(end <= file.size() && file[end - 1] == kChunkTerminator, "chunk terminated");
            offset = chunk.timeOffset;
        }
        check(end == file.size(), "nothing but chunks");
        check(chunks.size() == result.chunks && joinedData(chunks).size() == result.bytes,
              "counts as reported");
        if (format == ImportFormat::RawBytes)
            check(joinedData(chunks) == input, "raw import holds the input bytes");
    }
    return 0;
}
