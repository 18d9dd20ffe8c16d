#pragma once

#include <cstdint>

#include "engine/DeviceSettings.h"

// The silence that ends a request when nothing else tells its end: 3.5 character times at the
// line's speed (a character is its start, data, parity and stop bits), and at least 2 ms, which
// a system's timers and a pseudo-terminal can tell apart from a pause inside a burst.
std::uint64_t defaultGapMicros(const DeviceSettings& settings);
