// Export of any bytes in all three forms. The raw form is the data of the chunks a reader with
// the step of 1 delivers, and imported again as raw bytes it gives the same data bytes back.
// Input: one byte of options, then the serial file.
#include <cstddef>
#include <cstdint>

#include "convert/Import.h"
#include "convert/TextExport.h"
#include "engine/SerialFile.h"
#include "fuzz/FuzzSupport.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const Bytes bytes(data + 1, data + size);
    const std::string path = putScratch("any.ser", bytes.data(), bytes.size());
    const std::vector<ModelChunk> chunks = modelChunks(bytes, kExportResyncStep);
    const Bytes exportedData = joinedData(chunks);
    std::size_t chunksWithData = 0;
    for (const auto& chunk : chunks) chunksWithData += !chunk.data.empty();

    for (ExportType type : {ExportType::HexText, ExportType::AsciiText, ExportType::RawBytes}) {
        ExportOptions options;
        options.fileName = scratchFile("out.txt");
        options.showTimeOffset = data[0] & 1;
        options.showHeading = data[0] & 2;
        options.showDataPosition = data[0] & 4;
        options.exportType = type;
        check(exportToText(path, options).status == ExportStatus::Exported, "exported");
        const Bytes text = readScratch(options.fileName);
        if (type != ExportType::RawBytes) {
            // No data byte shows as CR LF in either text form.
            std::size_t lineEnds = 0;
            for (std::size_t i = 0; i + 1 < text.size(); ++i)
                lineEnds += text[i] == '\r' && text[i + 1] == '\n';
            check(lineEnds == chunksWithData + (options.showHeading ? 1 : 0),
                  "the heading and one line per chunk with data");
            continue;
        }
        check(text == exportedData, "raw export holds the chunks' data bytes");

        LogWriter log(LogSettings{});
        const std::string imported = scratchFile("imported.ser");
        const ImportResult result =
            importToSerialFile(options.fileName, imported, 9600, ImportFormat::RawBytes, log);
        check(result.status == ImportStatus::Converted && !result.failure.happened(),
              "raw import converted");
        check(joinedData(modelChunks(readScratch(imported), kPlaybackResyncStep)) == exportedData,
              "re-imported raw export gives the same data bytes");
    }
    return 0;
}
