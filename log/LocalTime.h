#pragma once

#include <ctime>
#include <optional>

// Thread-safe conversion of a calendar time to the local time of day.
std::optional<std::tm> toLocalTime(std::time_t when);
