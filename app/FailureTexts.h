#pragma once

#include <string>

#include "engine/Failure.h"

// The window's words for what failed, each kind once per command: the error box's text, the
// heading and then the system's reason on a line of its own. Empty for a kind the command does
// not tell in a box.

// Export to text.
std::string exportFailureText(const Failure& failure);
// Import into the working file.
std::string importFailureText(const Failure& failure);
// A serial file or a conversation that would not open to be shown (Open, the recent files,
// after an import).
std::string loadFailureText(const Failure& failure);
// A copy made by Save as.
std::string saveFailureText(const Failure& failure);
// The file of a recording (could not be written) or a playback (could not be read).
std::string runFileFailureText(const Failure& failure, bool recording);

// A run's port failure: a short line that stays in the status line until the next run, and the
// error box's text.
struct PortFailureWords {
    std::string statusText;
    std::string boxText;
};
PortFailureWords portFailureWords(const Failure& failure, bool recording);
