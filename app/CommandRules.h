#pragma once

// Which menu commands (and their keys) are enabled in which state of the program, free of any
// window: the File, Transport and Options commands follow the transport state and the current file.

#include <optional>

struct TransportFlags {
    bool recording = false;
    bool playing = false;
    bool hasFile = false;  // a current file is set
    // The worker's thread still runs while neither flag is set: it is opening its port and file,
    // or it was asked to stop and has not ended yet. No other run may start meanwhile.
    bool busy = false;
};

// Enabled or not by the command's rule; nothing for commands without a rule, whose menu items
// keep their state.
std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags);

// True when the command is disabled only because the program is busy: such a command that
// arrives anyway (from a key) is refused aloud, not silently.
bool refusedBecauseBusy(unsigned commandId, const TransportFlags& flags);
