#pragma once

// What the info command tells about a conversation file, gathered in one pass with the reader
// that answering uses, so the requests counted are the ones it would answer.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "conversation/ConversationReader.h"
#include "conversation/LineEventText.h"
#include "engine/Failure.h"

// What one interface (a port, or a monitor's pair) of the file holds.
struct InterfaceSummary {
    ConversationInterface described;  // its name and line settings as the file gives them
    std::uint64_t hostBursts = 0, deviceBursts = 0;
    std::uint64_t hostBytes = 0, deviceBytes = 0;
    std::uint64_t requests = 0, distinctRequests = 0, unansweredRequests = 0;
    // The device's answer time: a request's last burst to its answer's first, in microseconds.
    std::uint64_t answerP50Micros = 0, answerP99Micros = 0, answerMaxMicros = 0;
    // What the line did, counted by kind (LineEventKind's order).
    std::array<std::uint64_t, kLineEventKinds> lineEvents{};
};

struct ConversationSummary {
    ConversationReader::Format format = ConversationReader::Format::None;
    std::uint64_t durationMicros = 0;  // first burst to last, of every interface
    // The whole file's figures, and each interface's in the file's order (requests are told
    // apart per interface: each port's device answers its own).
    InterfaceSummary all;
    std::vector<InterfaceSummary> interfaces;
    bool lastBlockCut = false;
};

// Nothing when the file cannot be opened or read or is damaged, with what failed in *failure.
std::optional<ConversationSummary> summarizeConversation(const std::string& path, Failure* failure);
