#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "conversation/ConversationWriter.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"
#include "log/LogSettings.h"

struct ConversationRecordCounts {
    std::uint64_t bursts = 0;
    std::uint64_t bytes = 0;
};

// Records what arrives on port into writer (open on its file), one burst per read that returned
// bytes, each marked as the device's with its time in microseconds since the Unix epoch. The
// bursts reach the system at least every 100 ms. carryOn is called at least every 100 ms with the
// counts so far and stops the recording when it says false. Ends at a stop, when the port fails
// (PortLost: the device went away) or the file refuses a write, and returns that failure; the
// writer is left open for the caller to close, so the file is whole in every case.
Failure recordConversation(WaitablePort& port, const std::string& portName,
                           ConversationWriter& writer, const LogSettings& logSettings,
                           ConversationRecordCounts& counts,
                           const std::function<bool(const ConversationRecordCounts&)>& carryOn);
