#pragma once

// The transport controls' rules, free of any window: which buttons and the slider are enabled in
// which mode, and how the time display shows a position.

#include <cstdint>
#include <string>

// Busy: a worker is opening its port or ending after Stop, so only Stop applies.
enum class TransportMode { Stopped, Recording, Playing, Busy };

struct TransportControls {
    bool record, play, pause, stop, rewind, forward, slider;
};

TransportControls transportControls(TransportMode mode, bool hasFile);

// Minutes, seconds and tenths of a position in tenths of a second: "00:00.0", "01:00.5",
// "100:00.0"; minutes never roll over into hours.
std::string formatTimeDisplay(std::uint32_t tenths);
