#pragma once

#include <cstdio>
#include <string>

#include "convert/ConversionProgress.h"
#include "engine/ChoiceTable.h"
#include "engine/Failure.h"

// What an export writes for each chunk; each at the position of its entry in the Export dialog's
// list.
enum class ExportType : int {
    HexText = 0,    // "0x41 0x42 "
    AsciiText = 1,  // printable bytes as themselves, the rest as '.'
    RawBytes = 2,   // the data bytes alone: no heading, columns or line ends
};

inline constexpr Choice<ExportType> kExportTypeTable[] = {
    {ExportType::HexText, "Space delimited binary data", "hex"},
    {ExportType::AsciiText, "ASCII text data", "ascii"},
    {ExportType::RawBytes, "Raw data", "raw"},
};
inline constexpr ExportType kDefaultExportType = ExportType::AsciiText;

// What the Export dialog hands over; the defaults are what it opens with.
struct ExportOptions {
    std::string fileName;
    bool showTimeOffset = true;
    bool showHeading = true;
    bool showDataPosition = true;
    ExportType exportType = kDefaultExportType;
};

enum class ExportStatus {
    Exported,
    Failed,     // failure says what and why: no output made, or the output file as it was
    Cancelled,  // the progress callback said stop: the output file as it was
};

struct ExportResult {
    ExportStatus status = ExportStatus::Exported;
    // OpenInput (the serial file, no output made), CreateOutput, ReadInput (the serial file) or
    // WriteOutput, each with the system's reason.
    Failure failure;
};

// Writes the chunks of the serial file to options.fileName in the chosen form. The export is
// written beside the file and takes its place only when whole, so a failure or a cancel leaves
// the file as it was (missing, or with its old contents) and nothing beside it; the progress
// callback's last call comes right before that move. A device named as the output is written
// straight.
ExportResult exportToText(const std::string& serialPath, const ExportOptions& options,
                          const ConversionProgress& progress = {});

// The same bytes written to a stream the caller owns (standard output), which stays open;
// streamName stands for it in a failure. A failure part-way is returned as above, but what was
// written cannot be taken back, also when cancelled.
ExportResult exportToStream(const std::string& serialPath, std::FILE* stream,
                            const std::string& streamName, const ExportOptions& options,
                            const ConversionProgress& progress = {});
