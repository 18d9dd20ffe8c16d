#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "convert/ConversionProgress.h"
#include "convert/TextExport.h"
#include "engine/Failure.h"

class BlockOutput;

// What an export reads: a serial file or a conversation file. The run around it (the output
// replaced only when whole, the last progress check, the failures) is the same for both.
class ExportSource {
public:
    virtual ~ExportSource() = default;
    // OpenInput, with the reasons, when the file would not open or is not of its kind.
    virtual Failure open(const std::string& path) = 0;
    // The input's size in bytes, for progress; 0 when unknown.
    virtual std::uint64_t size() = 0;
    // Writes every line in the chosen form; false when the progress callback cancelled. A read
    // that fails ends it: close() tells.
    virtual bool write(BlockOutput& output, const ExportOptions& options,
                       const ConversionProgress& progress, std::uint64_t total) = 0;
    // Closes the input: ReadInput when a read failed or the input was damaged part-way.
    virtual Failure close() = 0;
};

// The runs of exportToText and exportToStream over any source.
ExportResult exportSourceToText(ExportSource& source, const std::string& inputPath,
                                const ExportOptions& options, const ConversionProgress& progress);
ExportResult exportSourceToStream(ExportSource& source, const std::string& inputPath,
                                  std::FILE* stream, const std::string& streamName,
                                  const ExportOptions& options, const ConversionProgress& progress);
