#include "conversation/LineEventText.h"

#include <array>
#include <limits>
#include <utility>

namespace {

constexpr std::array<const char*, kLineEventKinds> kKindNames = {
    "control lines", "break start",   "break end", "framing error",
    "parity error",  "line settings", "data lost",
};
// Indexed by the Parity and StopBits values.
constexpr std::array<const char*, 5> kParityNames = {"none", "odd", "even", "mark", "space"};
constexpr std::array<char, 5> kParityLetters = {'N', 'O', 'E', 'M', 'S'};
constexpr std::array<const char*, 3> kStopBitsNames = {"1", "1.5", "2"};

// Outside the named values: taken as left as it was, so that what is written reads back.
std::size_t parityIndex(Parity parity) {
    const auto index = static_cast<std::size_t>(parity);
    return index < kParityNames.size() ? index : 0;
}

std::size_t stopBitsIndex(StopBits stopBits) {
    const auto index = static_cast<std::size_t>(stopBits);
    return index < kStopBitsNames.size() ? index : 0;
}

// A positive number of at most ten digits that fits the settings' fields.
std::optional<std::int32_t> positiveNumber(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value == 0 || value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

template <typename Names, typename Name>
std::optional<std::size_t> indexOf(const Names& names, Name name) {
    for (std::size_t i = 0; i < names.size(); ++i)
        if (name == names[i]) return i;
    return std::nullopt;
}

// "8E1": data bits, the parity's letter, stop bits.
bool readFraming(std::string_view text, LineEvent& event) {
    const auto letter = text.find_first_not_of("0123456789");
    if (letter == std::string_view::npos) return false;
    const auto dataBits = positiveNumber(text.substr(0, letter));
    const auto parity = indexOf(kParityLetters, text[letter]);
    const auto stopBits = indexOf(kStopBitsNames, text.substr(letter + 1));
    if (!dataBits || !parity || !stopBits) return false;
    event.dataBits = *dataBits;
    event.parity = static_cast<Parity>(*parity);
    event.stopBits = static_cast<StopBits>(*stopBits);
    return true;
}

bool readItem(std::string_view item, LineEvent& event) {
    const auto after = [&item](std::string_view label) -> std::optional<std::string_view> {
        if (item.substr(0, label.size()) != label) return std::nullopt;
        return item.substr(label.size());
    };
    if (const auto speed = after("speed ")) {
        const auto value = positiveNumber(*speed);
        if (value) event.speed = *value;
        return value.has_value();
    }
    if (const auto parity = after("parity ")) {
        const auto index = indexOf(kParityNames, *parity);
        if (index) event.parity = static_cast<Parity>(*index);
        return index.has_value();
    }
    if (const auto stopBits = after("stop bits ")) {
        const auto index = indexOf(kStopBitsNames, *stopBits);
        if (index) event.stopBits = static_cast<StopBits>(*index);
        return index.has_value();
    }
    const auto space = item.find(' ');
    if (space == std::string_view::npos) return readFraming(item, event);
    const auto speed = positiveNumber(item.substr(0, space));
    if (!speed) return false;
    event.speed = *speed;
    return readFraming(item.substr(space + 1), event);
}

}  // namespace

const char* lineEventKindName(LineEventKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    return index < kKindNames.size() ? kKindNames[index] : "line event";
}

std::string controlLinesText(std::uint8_t lines) {
    static constexpr std::pair<std::uint8_t, const char*> kNames[] = {
        {control_line::kCts, "CTS"}, {control_line::kDcd, "DCD"}, {control_line::kDsr, "DSR"},
        {control_line::kRts, "RTS"}, {control_line::kDtr, "DTR"}, {control_line::kRing, "RING"},
    };
    std::string text;
    for (const auto& [bit, name] : kNames) {
        if (!(lines & bit)) continue;
        if (!text.empty()) text += ' ';
        text += name;
    }
    return text.empty() ? "none" : text;
}

std::string changedSettingsText(const LineEvent& event) {
    const std::size_t parity = parityIndex(event.parity);
    const std::size_t stopBits = stopBitsIndex(event.stopBits);
    std::string text;
    const auto add = [&text](const std::string& item) {
        text += (text.empty() ? "" : ", ") + item;
    };
    // With its data bits the framing reads as it is usually written; without, each part it
    // changes is named.
    if (event.dataBits > 0) {
        const std::string framing =
            std::to_string(event.dataBits) + kParityLetters[parity] + kStopBitsNames[stopBits];
        add(event.speed > 0 ? std::to_string(event.speed) + " " + framing : framing);
        return text;
    }
    if (event.speed > 0) add("speed " + std::to_string(event.speed));
    if (parity != 0) add(std::string("parity ") + kParityNames[parity]);
    if (stopBits != 0) add(std::string("stop bits ") + kStopBitsNames[stopBits]);
    return text.empty() ? "unchanged" : text;
}

std::optional<LineEvent> changedSettingsFromText(std::string_view text) {
    LineEvent event{LineEventKind::LineSettings};
    if (text == "unchanged") return event;
    if (text.empty()) return std::nullopt;
    for (;;) {
        const auto comma = text.find(", ");
        if (!readItem(text.substr(0, comma), event)) return std::nullopt;
        if (comma == std::string_view::npos) return event;
        text.remove_prefix(comma + 2);
    }
}

std::string awayText(std::uint64_t awayMicros) {
    const std::uint64_t millis = (awayMicros + 500) / 1000;
    std::string fraction = std::to_string(millis % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    return std::to_string(millis / 1000) + "." + fraction + " s";
}

std::optional<std::uint64_t> awayFromText(std::string_view text) {
    const auto dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > 12 || text.size() != dot + 6 ||
        text.substr(dot + 4) != " s")
        return std::nullopt;
    std::uint64_t millis = 0;
    for (const char c : std::string(text.substr(0, dot)) + std::string(text.substr(dot + 1, 3))) {
        if (c < '0' || c > '9') return std::nullopt;
        millis = millis * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return millis * 1000;
}

std::string lineEventText(const LineEvent& event) {
    const std::string name = lineEventKindName(event.kind);
    switch (event.kind) {
        case LineEventKind::ControlLines:
            return name + ": " + controlLinesText(event.controlLines);
        case LineEventKind::LineSettings:
            return name + ": " + changedSettingsText(event);
        case LineEventKind::DataLost:
            return event.awayMicros == 0 ? name
                                         : name + ": port away for " + awayText(event.awayMicros);
        default:
            return name;
    }
}
