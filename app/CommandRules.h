#pragma once

// Which menu commands (and their keys) are enabled in which state of the program, free of any
// window: the File, Transport and Options commands follow the availability rule
// (CommandAvailability) of the command they stand for.

#include <optional>

#include "app/CommandAvailability.h"

// Enabled or not by the command's rule; nothing for commands without a rule, whose menu items
// keep their state.
std::optional<bool> commandEnabled(unsigned commandId, const TransportFlags& flags);

// True when the command is disabled only because the program is busy: such a command that
// arrives anyway (from a key) is refused aloud, not silently.
bool refusedBecauseBusy(unsigned commandId, const TransportFlags& flags);
