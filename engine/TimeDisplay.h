#pragma once

#include <cstdint>
#include <string>

// A position in tenths of a second as the window's time display and the command-line program
// show it: minutes, seconds and tenths ("00:00.0", "01:00.5", "100:00.0"); the minutes never
// roll over into hours.
std::string formatTimeDisplay(std::uint32_t tenths);
