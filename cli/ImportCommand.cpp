// import: raw bytes or hex text made into a serial file, the same file the window's Import makes.
#include <climits>
#include <string>

#include "cli/ChoiceOption.h"
#include "cli/ConversionWatch.h"
#include "cli/FileAndPortCommands.h"
#include "convert/Import.h"
#include "convert/SamePath.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

namespace {

int runImport(const Arguments& arguments, Console& console) {
    if (arguments.positionals().size() != 1) {
        return reportUsageError(console, "import", "give one input file");
    }
    const std::string& input = arguments.positionals()[0];
    std::string error;
    const ImportFormat format = choiceOption(arguments, "--format", kImportFormatTable, &error)
                                    .value_or(kDefaultImportFormat);
    if (!error.empty()) return reportUsageError(console, "import", error);
    int speed = kDefaultImportSpeed;
    if (const auto baud = arguments.value("--baud")) {
        const auto number = parseInteger(*baud, 1, INT_MAX);
        if (!number) {
            return reportUsageError(console, "import",
                                    "--baud " + *baud + " is not a positive whole number");
        }
        speed = static_cast<int>(*number);
    }
    const auto output = arguments.value("-o");
    if (!output || output->empty() || *output == "-") {
        return reportUsageError(console, "import", "-o OUT.ser is needed");
    }
    // The serial file would take the place of the input it is made of.
    if (namesSameFile(input, *output)) {
        return reportUsageError(console, "import", "cannot import " + input + " onto itself");
    }

    LogWriter log{LogSettings{}};  // logging is the window's setting; off here
    ConversionWatch watch(console, input);
    const ImportResult result =
        importToSerialFile(input, *output, speed, format, log, watch.callback());
    watch.end();
    switch (result.status) {
        case ImportStatus::Converted:
            return kExitSuccess;
        case ImportStatus::Cancelled:
            return reportFailure(console, "import", "import of " + input + " cancelled");
        case ImportStatus::Failed:
            break;
    }
    // A part of the input could pass for all of it: nothing is kept.
    const bool partWay = result.failure.kind == Failure::Kind::ReadInput ||
                         result.failure.kind == Failure::Kind::WriteOutput;
    return reportFailure(console, "import", result.failure,
                         partWay ? *output + " was left as it was" : "");
}

std::string importHelp() {
    std::string help = "Usage: veltrane-cli import IN [--format " +
                       choiceNames(kImportFormatTable, "|") +
                       "] [--baud BITS_PER_SECOND] -o OUT.ser\n\n";
    help +=
        "Cuts the input into chunks of 10 bytes, each stamped with the time it would have\n"
        "arrived at the given speed, byte for byte as the window's Import does. A failed\n"
        "or cancelled (Ctrl+C) import leaves OUT.ser as it was.\n\n"
        "      --format FORM      raw: the bytes as they are; hex: hexadecimal text such\n"
        "                         as \"41 42\" or \"0x41 0x42\" (";
    help += choiceName(kImportFormatTable, kDefaultImportFormat) + ")\n";
    help +=
        "  -b, --baud SPEED       the line speed the data are taken to have come at, in\n"
        "                         bits per second (";
    help += std::to_string(kDefaultImportSpeed) + ")\n";
    help +=
        "  -o, --output OUT.ser   the serial file to write (needed)\n"
        "  -q, --quiet            no progress\n"
        "  -h, --help             this help\n";
    return help;
}

}  // namespace

Command importCommand() {
    return {"import",
            "make a serial file of raw bytes or hex text",
            importHelp(),
            {{"--format", true, ""}, {"--baud", true, "-b"}, {"-o", true, "--output"}},
            runImport};
}
