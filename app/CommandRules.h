#pragma once

// Which menu commands (and their keys) are enabled in which state of the program, free of any
// window: the File, Transport and Options commands follow the transport state and the current file.

#include <optional>

struct TransportFlags {
    bool recording = false;
    bool playing = false;
    bool hasFile = false;  // a current file is set
};

// Enabled or not by the command's rule; nothing for commands without a rule, whose menu items
// keep their state.
std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags);
