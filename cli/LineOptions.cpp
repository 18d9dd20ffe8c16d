#include "cli/LineOptions.h"

#include "cli/ChoiceOption.h"
#include "engine/DeviceSettingsChoices.h"

namespace {

// The names of a table, comma-separated, on lines of at most `width` characters after an indent.
template <typename Table>
std::string wrapped(const Table& table, std::size_t indent, std::size_t width) {
    std::string text, line(indent, ' ');
    for (std::size_t index = 0; index < std::size(table); ++index) {
        const std::string entry =
            std::string(table[index].name) + (index + 1 < std::size(table) ? ", " : "");
        if (line.size() + entry.size() > width && line.size() > indent) {
            text += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
            line.assign(indent, ' ');
        }
        line += entry;
    }
    return text + line + "\n";
}

// "5, 6, 7 or 8 (8)": the names, then the default's.
template <typename Table>
std::string listWithDefault(const Table& table, ChoiceValue<Table> defaultValue) {
    return choiceNames(table, ", ", " or ") + " (" + choiceName(table, defaultValue) + ")\n";
}

}  // namespace

std::vector<OptionSpec> lineOptions() {
    std::vector<OptionSpec> options = {{"--port", true, "-p"}};
    for (OptionSpec& option : lineSettingOptions()) options.push_back(std::move(option));
    return options;
}

std::vector<OptionSpec> lineSettingOptions() {
    return {{"--baud", true, "-b"},
            {"--data-bits", true, ""},
            {"--parity", true, ""},
            {"--stop-bits", true, ""}};
}

std::string lineOptionsHelp() {
    return "  -p, --port PORT        the serial port: a device path on Linux (/dev/ttyUSB0),\n"
           "                         a COM name on Windows (COM3); or over the network\n"
           "                         rfc2217://HOST:PORT or tcp://HOST:PORT (a device\n"
           "                         server), rfc2217-server:[ADDR:]PORT or\n"
           "                         tcp-server:[ADDR:]PORT (served to the program, on\n"
           "                         127.0.0.1 unless ADDR is given; its URL is printed)\n" +
           lineSettingsHelp();
}

std::string lineSettingsHelp() {
    std::string help;
    help += "  -b, --baud SPEED       bit/s (" + choiceName(kSpeedTable, kDefaultSpeed) +
            "), one of:\n";
    help += wrapped(kSpeedTable, 25, 80);
    help += "      --data-bits N      " + listWithDefault(kDataBitsTable, kDefaultDataBits);
    help += "      --parity NAME      " + listWithDefault(kParityTable, kDefaultParity);
    help += "      --stop-bits N      " + listWithDefault(kStopBitsTable, kDefaultStopBits);
    return help;
}

std::optional<DeviceSettings> deviceSettingsFrom(const Arguments& arguments, std::string* error) {
    const auto port = arguments.value("--port");
    if (!port || port->empty()) {
        *error = "--port is needed";
        return std::nullopt;
    }
    auto settings = lineSettingsFrom(arguments, error);
    if (settings) settings->port = *port;
    return settings;
}

std::optional<DeviceSettings> lineSettingsFrom(const Arguments& arguments, std::string* error) {
    DeviceSettings settings;
    settings.port.clear();
    error->clear();
    const auto speed = choiceOption(arguments, "--baud", kSpeedTable, error);
    const auto dataBits = choiceOption(arguments, "--data-bits", kDataBitsTable, error);
    const auto parity = choiceOption(arguments, "--parity", kParityTable, error);
    const auto stopBits = choiceOption(arguments, "--stop-bits", kStopBitsTable, error);
    if (!error->empty()) return std::nullopt;
    settings.speed = speed.value_or(settings.speed);
    settings.dataBits = dataBits.value_or(settings.dataBits);
    settings.parity = parity.value_or(settings.parity);
    settings.stopBits = stopBits.value_or(settings.stopBits);
    return settings;
}

OptionSpec reconnectOption() { return {"--reconnect", false, ""}; }

std::string reconnectHelp() {
    return "      --reconnect        a serial port (or device server) that goes away, an\n"
           "                         adapter unplugged, is waited for and reopened with the\n"
           "                         same settings (on Linux also by its /dev/serial/by-id\n"
           "                         name), and the run goes on; a conversation file marks\n"
           "                         the gap as data lost with the time away\n";
}
