#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "engine/WaitablePort.h"

enum class WriteEnd : std::uint8_t {
    Whole,    // every byte went out
    Stopped,  // a stop came while the far side took too little; the rest was dropped
    Failed,   // the port failed: writeErrorText() says why
};

// Writes all bytes, in calls that each wait at most a tenth of a second for the far side to
// take some, and asks stopAsked between them: a far side that reads nothing (flow control held,
// a full pseudo-terminal) cannot keep a stop waiting. *written gets the count that went out.
WriteEnd writeUnlessStopped(WaitablePort& port, std::span<const std::uint8_t> bytes,
                            const std::function<bool()>& stopAsked,
                            std::uint32_t* written = nullptr);
