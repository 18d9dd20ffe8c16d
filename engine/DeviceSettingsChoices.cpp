#include "engine/DeviceSettingsChoices.h"

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
    static const std::vector<std::string> speeds = choiceLabels(kSpeedTable);
    return speeds;
}

const std::vector<std::string>& dataBitsChoices() {
    static const std::vector<std::string> bits = choiceLabels(kDataBitsTable);
    return bits;
}

const std::vector<std::string>& parityChoices() {
    static const std::vector<std::string> parities = choiceLabels(kParityTable);
    return parities;
}

const std::vector<std::string>& stopBitsChoices() {
    static const std::vector<std::string> stops = choiceLabels(kStopBitsTable);
    return stops;
}

int findEntryWithPrefix(const std::vector<std::string>& entries, const std::string& text) {
    for (std::size_t index = 0; index < entries.size(); ++index) {
        const std::string& entry = entries[index];
        if (sameTextIgnoringCase(std::string_view(entry).substr(0, text.size()), text)) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

namespace {

// The lists below are looked up by position, and the port takes the position as the value.
template <typename Table>
constexpr bool valuesAreIndices(const Table& table) {
    for (std::size_t index = 0; index < std::size(table); ++index) {
        if (static_cast<std::size_t>(table[index].value) != index) return false;
    }
    return true;
}
static_assert(valuesAreIndices(kParityTable) && valuesAreIndices(kStopBitsTable));

// The name of a value at its index in the table; out-of-range values show as `fallback`.
const std::string& nameOf(const std::vector<std::string>& names, std::int32_t value,
                          std::size_t fallback) {
    return value >= 0 && static_cast<std::size_t>(value) < names.size()
               ? names[static_cast<std::size_t>(value)]
               : names[fallback];
}

// The value whose name the text is (case-sensitive); `fallback` for any other text.
std::int32_t valueNamed(const std::vector<std::string>& names, const std::string& text,
                        std::int32_t fallback) {
    for (std::size_t index = 0; index < names.size(); ++index) {
        if (names[index] == text) return static_cast<std::int32_t>(index);
    }
    return fallback;
}

}  // namespace

DeviceSettings dialogStartingValues(const DeviceSettings& stored) {
    DeviceSettings values;
    values.port = stored.port.empty() ? kDefaultPort : stored.port;
    values.speed = stored.speed > 0 ? stored.speed : kDefaultSpeed;
    values.dataBits = static_cast<std::uint8_t>(stored.dataBits);
    values.parity = static_cast<Parity>(static_cast<std::uint8_t>(stored.parity));
    values.stopBits = static_cast<StopBits>(static_cast<std::uint8_t>(stored.stopBits));
    return values;
}

DeviceSelections preselectEntries(const DeviceSettings& values) {
    // Unknown parities show as none; any stop-bits value above one and a half as two.
    const std::string& parity = nameOf(parityChoices(), static_cast<std::int32_t>(values.parity), 0);
    const std::int32_t stops = static_cast<std::int32_t>(values.stopBits);
    const std::string& stopBits = nameOf(stopBitsChoices(), stops < 0 ? 2 : stops, 2);
    return {findEntryWithPrefix(portChoices(), values.port),
            findEntryWithPrefix(speedChoices(), std::to_string(values.speed)),
            findEntryWithPrefix(dataBitsChoices(), std::to_string(values.dataBits)),
            findEntryWithPrefix(parityChoices(), parity),
            findEntryWithPrefix(stopBitsChoices(), stopBits)};
}

DeviceSettings readBackSelections(const DeviceSettings& given, const DeviceSelectionTexts& texts) {
    DeviceSettings values = given;
    if (!texts.port.empty()) values.port = texts.port;
    if (values.port.empty()) values.port = kDefaultPort;

    int speed = std::atoi(texts.speed.c_str());
    if (speed > 0) values.speed = speed;
    if (values.speed <= 0) values.speed = kDefaultSpeed;

    // A text that names no parity means none.
    if (!texts.parity.empty()) values.parity = static_cast<Parity>(valueNamed(parityChoices(), texts.parity, 0));

    int dataBits = std::atoi(texts.dataBits.c_str());
    if (dataBits > 0) values.dataBits = dataBits;
    if (values.dataBits <= 0) values.dataBits = kDefaultDataBits;

    // A text that names no stop bits means one.
    if (!texts.stopBits.empty()) {
        values.stopBits = static_cast<StopBits>(valueNamed(stopBitsChoices(), texts.stopBits, 0));
    }
    return values;
}

DevicePortSelection preselectDevicePort(const std::string& devicePort) {
    if (devicePort.empty()) return {false, -1};
    return {true, findEntryWithPrefix(portChoices(), devicePort)};
}

std::optional<std::string> readBackDevicePort(bool ticked, const std::string& selected,
                                              const std::string& given,
                                              const std::string& comPort) {
    if (!ticked) return std::string();
    const std::string& port = selected.empty() ? given : selected;
    if (!port.empty() && sameTextIgnoringCase(port, comPort)) return std::nullopt;
    return port;
}
