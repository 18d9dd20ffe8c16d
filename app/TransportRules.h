#pragma once

// The main window's rules, free of any window: which commands are enabled in which transport
// state, which transport controls are enabled in which mode, and how a position is shown.

#include <cstdint>
#include <optional>
#include <string>

struct TransportFlags {
    bool recording = false;
    bool playing = false;
    bool hasFile = false;  // a current file is set
};

// Enabled or not by the command's rule; nothing for commands without a rule, whose menu items
// keep their state.
std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags);

enum class TransportMode { Stopped, Recording, Playing };

struct TransportControls {
    bool record, play, pause, stop, rewind, forward, slider;
};

TransportControls transportControls(TransportMode mode, bool hasFile);

// Minutes, seconds and tenths of a position in tenths of a second: "00:00.0", "01:00.5",
// "100:00.0"; minutes never roll over into hours.
std::string formatPosition(std::uint32_t tenths);

// A menu prompt from the string table: only what stands before the last "\n".
std::string promptText(const std::string& tableString);
