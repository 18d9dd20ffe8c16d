#pragma once

#include <cstdint>
#include <string>

// The transport controls' states, free of any window: which buttons and the slider are enabled in
// which mode, as the availability rule (CommandAvailability) has it. The time display's text is
// engine/TimeDisplay.h.

// Busy: a worker is opening its port or ending after Stop, so only Stop applies.
enum class TransportMode { Stopped, Recording, Playing, Busy };

struct TransportControls {
    bool record, play, pause, stop, rewind, forward, slider;
};

TransportControls transportControls(TransportMode mode, bool hasFile);

// The status line while a run sits between a program (host) and its device: the state word and
// the bytes each way, "Monitoring: host 12 bytes, device 3 bytes".
std::string monitoringStatusText(std::uint64_t hostBytes, std::uint64_t deviceBytes);

// The status line while Play answers for a conversation's device: "Answering: 5 requests
// answered, 1 unknown", naming the rules file it answers with too: "... (rules: a.rules)".
std::string answeringStatusText(std::uint64_t answered, std::uint64_t unknown,
                                const std::string& rulesFile);
