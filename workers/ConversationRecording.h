#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "conversation/ConversationWriter.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"
#include "log/LogSettings.h"

struct ConversationRecordCounts {
    std::uint64_t bursts = 0;
    std::uint64_t bytes = 0;
};

// One port of a recording: the file's interface of the same index is its.
struct RecordedPort {
    WaitablePort* port = nullptr;
    std::string name;  // as the user gave it, for failures and the log
};

// Records what arrives on the ports into writer (open on its file, with an interface for each
// port in their order), one burst per read that returned bytes, each marked as the device's on
// its port's interface with its time in microseconds since the Unix epoch. One thread waits on
// every port, so bursts of different ports keep their true order. The bursts reach the system at
// least every 100 ms. carryOn is called at least every 100 ms with the counts so far and stops
// the recording when it says false; remark, when given, gets what a port found worth telling (and
// the log gets it too). Ends at a stop, when a port fails (PortLost naming it: the device went
// away) or the file refuses a write, and returns that failure; the writer is left open for the
// caller to close, so the file is whole in every case.
Failure recordConversation(std::span<const RecordedPort> ports, ConversationWriter& writer,
                           const LogSettings& logSettings, ConversationRecordCounts& counts,
                           const std::function<bool(const ConversationRecordCounts&)>& carryOn,
                           const std::function<void(const std::string&)>& remark = {});
