#include "engine/DeviceSettingsChoices.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>

const std::vector<std::string>& portChoices() {
    static const std::vector<std::string> ports = [] {
        std::vector<std::string> names;
        for (int number = 1; number <= 20; ++number) names.push_back("COM" + std::to_string(number));
        return names;
    }();
    return ports;
}

const std::vector<std::string>& speedChoices() {
    static const std::vector<std::string> speeds = {"110",   "300",   "1200",   "2400",  "4800",
                                                    "9600",  "14400", "19200",  "28800", "38400",
                                                    "57600", "115200", "230400", "460800"};
    return speeds;
}

const std::vector<std::string>& dataBitsChoices() {
    static const std::vector<std::string> bits = {"5", "6", "7", "8"};
    return bits;
}

const std::vector<std::string>& parityChoices() {
    static const std::vector<std::string> parities = {"None", "Odd", "Even", "Mark", "Space"};
    return parities;
}

const std::vector<std::string>& stopBitsChoices() {
    static const std::vector<std::string> stops = {"1", "1.5", "2"};
    return stops;
}

int findEntryWithPrefix(const std::vector<std::string>& entries, const std::string& text) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string& entry = entries[index];
        if (entry.size() < text.size()) continue;
        bool matches = true;
        for (std::size_t i = 0; i < text.size() && matches; ++i) {
            matches = std::tolower(static_cast<unsigned char>(entry[i])) ==
                      std::tolower(static_cast<unsigned char>(text[i]));
        }
        if (matches) return static_cast<int>(index);
    }
    return -1;
}

DeviceSettings dialogStartingValues(const DeviceSettings& stored) {
    DeviceSettings values;
    values.port = stored.port.empty() ? "COM1" : stored.port;
    values.speed = stored.speed > 0 ? stored.speed : 9600;
    values.dataBits = static_cast<std::uint8_t>(stored.dataBits);
    values.parity = static_cast<std::uint8_t>(stored.parity);
    values.stopBits = static_cast<std::uint8_t>(stored.stopBits);
    return values;
}

DeviceSelections preselectEntries(const DeviceSettings& values) {
    static const char* const kParityNames[] = {"None", "Odd", "Even", "Mark", "Space"};
    const char* parity = values.parity >= 1 && values.parity <= 4 ? kParityNames[values.parity]
                                                                   : "None";
    const char* stopBits = values.stopBits == 0 ? "1" : values.stopBits == 1 ? "1.5" : "2";
    return {findEntryWithPrefix(portChoices(), values.port),
            findEntryWithPrefix(speedChoices(), std::to_string(values.speed)),
            findEntryWithPrefix(dataBitsChoices(), std::to_string(values.dataBits)),
            findEntryWithPrefix(parityChoices(), parity),
            findEntryWithPrefix(stopBitsChoices(), stopBits)};
}

DeviceSettings readBackSelections(const DeviceSettings& given, const DeviceSelectionTexts& texts) {
    DeviceSettings values = given;
    if (!texts.port.empty()) values.port = texts.port;
    if (values.port.empty()) values.port = "COM1";

    int speed = std::atoi(texts.speed.c_str());
    if (speed > 0) values.speed = speed;
    if (values.speed <= 0) values.speed = 9600;

    if (!texts.parity.empty()) {
        if (texts.parity == "Mark") {
            values.parity = 3;
        } else if (texts.parity == "Even") {
            values.parity = 2;
        } else if (texts.parity == "Odd") {
            values.parity = 1;
        } else if (texts.parity == "Space") {
            values.parity = 4;
        } else {
            values.parity = 0;
        }
    }

    int dataBits = std::atoi(texts.dataBits.c_str());
    if (dataBits > 0) values.dataBits = dataBits;
    if (values.dataBits <= 0) values.dataBits = 8;

    if (!texts.stopBits.empty()) {
        values.stopBits = texts.stopBits == "2" ? 2 : texts.stopBits == "1.5" ? 1 : 0;
    }
    return values;
}
