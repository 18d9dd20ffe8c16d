#include "cli/LineOptions.h"

#include "engine/DeviceSettingsChoices.h"

namespace {

std::string joined(const std::vector<std::string>& entries, const char* separator) {
    std::string text;
    for (const std::string& entry : entries) text += (text.empty() ? "" : separator) + entry;
    return text;
}

// The entries, comma-separated, on lines of at most `width` characters after an indent.
std::string wrapped(const std::vector<std::string>& entries, std::size_t indent, std::size_t width) {
    std::string text, line(indent, ' ');
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string entry = entries[index] + (index + 1 < entries.size() ? ", " : "");
        if (line.size() + entry.size() > width && line.size() > indent) {
            text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
            line.assign(indent, ' ');
        }
        line += entry;
    }
    return text + line + "\n";
}

// The index of the entry that equals text, ignoring case; -1 for none.
int indexOf(const std::vector<std::string>& entries, const std::string& text) {
    const int found = findEntryWithPrefix(entries, text);
    return found >= 0 && entries[static_cast<std::size_t>(found)].size() == text.size() ? found : -1;
}

}  // namespace

std::vector<OptionSpec> lineOptions() {
    return {{"--port", true, "-p"},
            {"--baud", true, "-b"},
            {"--data-bits", true, ""},
            {"--parity", true, ""},
            {"--stop-bits", true, ""}};
}

std::string lineOptionsHelp() {
    return "  -p, --port PORT        the serial port: a device path on Linux (/dev/ttyUSB0),\n"
           "                         a COM name on Windows (COM3)\n"
           "  -b, --baud SPEED       bit/s (9600), one of:\n" + wrapped(speedChoices(), 25, 80) +
           "      --data-bits N      5, 6, 7 or 8 (8)\n"
           "      --parity NAME      none, odd, even, mark or space (none)\n"
           "      --stop-bits N      1, 1.5 or 2 (1)\n";
}

std::optional<DeviceSettings> deviceSettingsFrom(const Arguments& arguments, std::string* error) {
    DeviceSettings settings;
    const auto port = arguments.value("--port");
    if (!port || port->empty()) {
        *error = "--port is needed";
        return std::nullopt;
    }
    settings.port = *port;
    if (const auto baud = arguments.value("--baud")) {
        if (indexOf(speedChoices(), *baud) < 0) {
            *error = "--baud " + *baud + " is not one of " + joined(speedChoices(), ", ");
            return std::nullopt;
        }
        settings.speed = static_cast<std::int32_t>(std::stol(*baud));
    }
    if (const auto bits = arguments.value("--data-bits")) {
        if (indexOf(dataBitsChoices(), *bits) < 0) {
            *error = "--data-bits " + *bits + " is not one of 5, 6, 7, 8";
            return std::nullopt;
        }
        settings.dataBits = static_cast<std::int32_t>(std::stol(*bits));
    }
    if (const auto parity = arguments.value("--parity")) {
        const int index = indexOf(parityChoices(), *parity);
        if (index < 0) {
            *error = "--parity " + *parity + " is not one of none, odd, even, mark, space";
            return std::nullopt;
        }
        settings.parity = static_cast<Parity>(index);
    }
    if (const auto stops = arguments.value("--stop-bits")) {
        const int index = indexOf(stopBitsChoices(), *stops);
        if (index < 0) {
            *error = "--stop-bits " + *stops + " is not one of 1, 1.5, 2";
            return std::nullopt;
        }
        settings.stopBits = static_cast<StopBits>(index);
    }
    return settings;
}
