#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "engine/LineEvent.h"

// Who sent a burst's bytes: the host (the program under test) toward the device, or the device.
enum class Direction : std::uint8_t { Host, Device };

// One burst read from a port. Writing, bytes is the caller's; reading, it points into the
// reader's block and stays valid until the reader's next read.
struct ConversationBurst {
    std::uint64_t timeMicros = 0;  // since the Unix epoch
    Direction direction = Direction::Host;
    std::uint8_t controlLines = 0;  // the lines (control_line bits) after the burst; 0 when unknown
    std::span<const std::uint8_t> bytes;
    std::uint64_t offset = 0;  // set by the reader: where the burst's block starts in the file
    // Set when this is what the line did instead of bytes (bytes then empty): direction tells
    // who did it. A reader gives these only when asked to keep line events.
    std::optional<LineEvent> lineEvent = std::nullopt;
    // Which of the file's interfaces (ports) it came through, from 0 in the file's order.
    std::uint32_t interfaceIndex = 0;
};
