#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "conversation/ConversationReader.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"
#include "log/LogSettings.h"

class ChunkTimingObserver;

// How to play the device's side of a conversation file.
struct ConversationPlay {
    std::string filePath;                   // for the log
    std::string portName;                   // for the failure when the port goes away
    std::uint32_t interfaceIndex = 0;       // the interface the one port plays
    std::uint64_t fromMicros = 0;           // play from this long after the file's first burst
    double speed = 1.0;                     // a factor on the recorded timing, > 0
    ChunkTimingObserver* timing = nullptr;  // told of each burst's write, or none
    LogSettings log;
};

struct ConversationPlayCounts {
    std::uint64_t bursts = 0;  // written whole
    std::uint64_t bytes = 0;
    std::uint64_t atMicros = 0;  // the last written burst's place, from the file's first burst
};

// A port that plays the device of one interface of the file, with its name for failures.
struct PlayedPort {
    WaitablePort* port = nullptr;  // none: that interface is not played
    std::string name;
};

// Writes the device's bursts of the file (open in reader) out of the port of their interface
// (ports by interface index), each when its recorded time comes, counted from the start at
// play.fromMicros; the host's bursts, and those of an interface without a port, only keep their
// place in time, so bursts of different ports keep their recorded order and spacing. Bursts
// before fromMicros are left out. carryOn is called at least every 100 ms, with the counts so
// far, and stops playing when it says false. Ends at the file's end, a stop, or a failure of the
// file or a port, which it returns.
Failure playConversation(ConversationReader& reader, std::span<const PlayedPort> ports,
                         const ConversationPlay& play, ConversationPlayCounts& counts,
                         const std::function<bool(const ConversationPlayCounts&)>& carryOn);

// The same with one port, for the interface play.interfaceIndex, named play.portName.
Failure playConversation(ConversationReader& reader, WaitablePort& port,
                         const ConversationPlay& play, ConversationPlayCounts& counts,
                         const std::function<bool(const ConversationPlayCounts&)>& carryOn);
