#pragma once

#include <cstdio>
#include <string>

#include "convert/ConversionProgress.h"

class ErrorReporter;

// Positions of the entries in the Export dialog's list.
enum class ExportType : int {
    SpaceDelimitedBinary = 0,  // "0x41 0x42 "
    AsciiText = 1,             // printable bytes as themselves, the rest as '.'
    Raw = 2,                   // the data bytes alone: no heading, columns or line ends
};

// What the Export dialog hands over; the defaults are what it opens with.
struct ExportOptions {
    std::string fileName;
    bool showTimeOffset = true;
    bool showHeading = true;
    bool showDataPosition = true;
    ExportType exportType = ExportType::AsciiText;
};

enum class ExportResult {
    Exported,
    SerialFileNotOpened,  // error box shown, no output made
    OutputNotOpened,      // error box naming the output shown
    ReadFailed,           // a read of the serial file failed: box shown, output removed
    WriteFailed,          // a write failed (full disk): box shown, output removed
    Cancelled,            // the progress callback said stop: nothing shown, output removed
};

// Writes the chunks of the serial file to options.fileName in the chosen form. Every failure
// is shown in the error box with the system's reason; after a failed read or write no output
// is left that could pass for a whole export. Nothing is shown on success or when cancelled.
ExportResult exportToText(const std::string& serialPath, const ExportOptions& options,
                          ErrorReporter& errors, const ConversionProgress& progress = {});

// The same bytes written to a stream the caller owns (standard output), which stays open;
// streamName stands for it in the error box. A failure part-way is reported as above, but what
// was written cannot be taken back, also when cancelled.
ExportResult exportToStream(const std::string& serialPath, std::FILE* stream,
                            const std::string& streamName, const ExportOptions& options,
                            ErrorReporter& errors, const ConversionProgress& progress = {});
