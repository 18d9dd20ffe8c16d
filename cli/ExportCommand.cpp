// export: a serial file as text or raw bytes, the same bytes the window's Export writes.
#include <string>

#include "cli/ChoiceOption.h"
#include "cli/ConversionWatch.h"
#include "cli/FileAndPortCommands.h"
#include "cli/OverwriteRefusal.h"
#include "conversation/ConversationFileName.h"
#include "convert/ConversationExport.h"
#include "convert/TextExport.h"

namespace {

constexpr const char* kStandardOutput = "standard output";

int runExport(const Arguments& arguments, Console& console) {
    if (arguments.positionals().size() != 1) {
        return reportUsageError(console, "export", "give one serial file");
    }
    const std::string& serialPath = arguments.positionals()[0];
    ExportOptions options;  // as the Export dialog opens
    std::string error;
    const auto type = choiceOption(arguments, "--format", kExportTypeTable, &error);
    if (!error.empty()) return reportUsageError(console, "export", error);
    options.exportType = type.value_or(options.exportType);
    options.showTimeOffset = !arguments.has("--no-time");
    options.showHeading = !arguments.has("--no-heading");
    options.showDataPosition = !arguments.has("--no-position");
    const std::string output = arguments.value("-o").value_or("-");
    if (output.empty()) return reportUsageError(console, "export", "-o needs a file name or -");
    // The export would take the place of the recording it is made of.
    if (auto refusal =
            overwriteRefusal({{output == "-" ? std::nullopt : std::optional(output), "export to"}},
                             {{serialPath, inputWords(serialPath, "being exported")}}))
        return reportUsageError(console, "export", *refusal);

    const bool conversation = namesConversationFile(serialPath);
    ConversionWatch watch(console, serialPath);
    ExportResult result;
    if (output == "-") {
        result = conversation ? exportConversationToStream(serialPath, console.out, kStandardOutput,
                                                           options, watch.callback())
                              : exportToStream(serialPath, console.out, kStandardOutput, options,
                                               watch.callback());
    } else {
        options.fileName = output;
        result = conversation ? exportConversationToText(serialPath, options, watch.callback())
                              : exportToText(serialPath, options, watch.callback());
    }
    watch.end();
    switch (result.status) {
        case ExportStatus::Exported:
            return kExitSuccess;
        case ExportStatus::Cancelled:
            return reportFailure(console, "export", "export of " + serialPath + " cancelled");
        case ExportStatus::Failed:
            break;
    }
    return reportFailure(console, "export", result.failure);
}

std::string exportHelp() {
    std::string help = "Usage: veltrane-cli export FILE.ser|FILE.pcapng [--format " +
                       choiceNames(kExportTypeTable, "|") + "] [--no-time]\n";
    help +=
        "                           [--no-position] [--no-heading] [-o OUT|-]\n\n"
        "Writes each chunk as a line, byte for byte as the window's Export does. Ctrl+C\n"
        "cancels it; the output file is replaced only when the export is whole.\n"
        "A conversation file (.pcapng or .pcap) gives one line per burst: the time since\n"
        "the first line to the microsecond, who sent it (host or device, in place of the\n"
        "position column), then its bytes. What the line did beside its bytes has a line\n"
        "of its own among them, with who did it and the event in brackets in place of\n"
        "bytes: \"[control lines: RTS DTR]\", \"[break start]\", \"[break end]\",\n"
        "\"[framing error]\", \"[parity error]\", \"[line settings: 19200 8E1]\",\n"
        "\"[data lost: port away for 2.345 s]\". The raw form leaves these out. A file of\n"
        "several ports gives each line's port (its interface, from 1) before who sent it.\n\n"
        "      --format FORM      hex: \"0x41 \" per byte; ascii: printable bytes as\n"
        "                         themselves, the rest as '.'; raw: the data bytes alone,\n"
        "                         without heading, columns or line ends (";
    help += choiceName(kExportTypeTable, kDefaultExportType) + ")\n";
    help +=
        "      --no-time          no time column\n"
        "      --no-position      no data position column\n"
        "      --no-heading       no heading line\n"
        "  -o, --output OUT       the file to write; - for standard output (-)\n"
        "  -q, --quiet            no progress\n"
        "  -h, --help             this help\n";
    return help;
}

}  // namespace

Command exportCommand() {
    return {"export",
            "write a serial or conversation file as hex or ASCII text lines, or raw bytes",
            exportHelp(),
            {{"--format", true, ""},
             {"--no-time", false, ""},
             {"--no-position", false, ""},
             {"--no-heading", false, ""},
             {"-o", true, "--output"}},
            runExport};
}
