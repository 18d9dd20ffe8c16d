#pragma once

#include <cstdio>
#include <string>

#include "convert/ConversionProgress.h"
#include "convert/TextExport.h"

// A conversation file as text: one line per burst, "%-12f:" seconds since the first line to
// the microsecond (showTimeOffset), who sent it (" host   " or " device ", in place of the data
// position column: showDataPosition), then the bytes in the chosen form. What the line did has
// a line of its own in its place among them, with who did it and, in place of bytes, the event
// in brackets ("[break start]", "[control lines: RTS DTR]", "[line settings: 19200 8E1]").
// The raw form writes the bytes alone, both directions in the order they came. The same run as
// exportToText: written beside the named output and put in place only when whole; a damaged file
// fails as ReadInput with what is wrong.
ExportResult exportConversationToText(const std::string& path, const ExportOptions& options,
                                      const ConversionProgress& progress = {});
ExportResult exportConversationToStream(const std::string& path, std::FILE* stream,
                                        const std::string& streamName, const ExportOptions& options,
                                        const ConversionProgress& progress = {});
