#pragma once

#include <string>

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
    OutputNotOpened,      // error box shown
    WriteFailed,          // went on to the end, but the output may be short (full disk); no box
};

// Writes the chunks of the serial file to options.fileName in the chosen form. Open failures
// go to the error box with the system's text; nothing is shown otherwise.
ExportResult exportToText(const std::string& serialPath, const ExportOptions& options,
                          ErrorReporter& errors);
