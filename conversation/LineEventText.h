#pragma once

// A line's events in words: the lines of an export, the kinds info counts, and the settings a
// conversation file's comment gives.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/LineEvent.h"

inline constexpr std::size_t kLineEventKinds =
    static_cast<std::size_t>(LineEventKind::DataLost) + 1;

// "control lines", "break start", "break end", "framing error", "parity error", "line settings",
// "data lost".
const char* lineEventKindName(LineEventKind kind);

// The lines that are on, by name in the order of their bits ("CTS DSR RTS DTR"), or "none".
std::string controlLinesText(std::uint8_t lines);

// What a LineSettings event asks for: "19200 8E1", "speed 19200", "7E2", "parity even, stop
// bits 2". What it leaves as it was (a speed or data bits of 0 or less, no parity, one stop bit)
// goes unsaid, and all of it as "unchanged". A parity or stop bits outside the named values
// counts as left as it was.
std::string changedSettingsText(const LineEvent& event);
// Such a text back as a LineSettings event; nothing for any other text.
std::optional<LineEvent> changedSettingsFromText(std::string_view text);

// How long a port was away, to the millisecond: "2.345 s".
std::string awayText(std::uint64_t awayMicros);
// Such a text back in microseconds; nothing for any other text.
std::optional<std::uint64_t> awayFromText(std::string_view text);

// The event as a person reads it: "break start", "control lines: RTS DTR", "line settings:
// 19200 8E1", "data lost: port away for 2.345 s".
std::string lineEventText(const LineEvent& event);
