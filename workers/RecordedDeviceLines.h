#pragma once

#include <optional>
#include <string>

#include "engine/LineEvent.h"

// The device's control lines as a conversation file first shows them (its first change of
// lines, else the lines its first burst carries), for a stand-in to show a program from the
// start; nothing when the file shows none. Reads at most the file's first few thousand bursts.
std::optional<LineEvent> recordedDeviceLines(const std::string& path);
