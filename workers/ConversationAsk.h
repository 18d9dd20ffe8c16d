#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "conversation/ConversationReader.h"
#include "conversation/DelayTally.h"
#include "engine/Failure.h"
#include "engine/WaitablePort.h"

// The device's control lines at an answer's end, where they were not as recorded.
struct LineDifference {
    std::uint64_t request = 0;  // as AnswerDifference's
    std::uint64_t requestMicros = 0;
    std::uint8_t expected = 0;  // control_line bits of the device's lines
    std::uint8_t got = 0;
};

// How to play the host of a conversation file against a device.
struct AskSettings {
    std::string filePath;  // for the failure when an exchange is too long to ask
    std::string portName;  // for the failure when the port goes away
    // How long to wait for each answer from the request's last byte; none: the recorded time
    // from the request's end to its answer's last burst, plus a second.
    std::optional<std::chrono::milliseconds> timeout;
    // Told of each answer after which the device's lines were not as recorded; may be empty.
    std::function<void(const LineDifference&)> linesDiffer;
};

// An answer the device did not give as recorded.
struct AnswerDifference {
    std::uint64_t request = 0;        // 1 for the file's first request
    std::uint64_t requestMicros = 0;  // the request's recorded time after the file's first burst
    std::size_t firstDiffering = 0;   // index of the first byte that differs
    std::vector<std::uint8_t> expected;
    std::vector<std::uint8_t> got;  // empty: the device did not answer
    // The answer began only after the timeout: got holds what came then, before the next
    // request.
    bool late = false;
};

// What the device did with the requests asked so far.
struct AskTally {
    std::uint64_t requests = 0;
    std::uint64_t answersMatched = 0;
    std::uint64_t answersDiffering = 0;
    std::uint64_t answersMissing = 0;
    std::uint64_t answersLate = 0;  // began after the timeout: neither matched nor missing
    // The device's answer time: the request's last byte written to the answer's first byte.
    DelayTally answerMicros;
    // Answers after which the device's lines were compared with the recording's (where both the
    // file and the port show them), and those where they differed.
    std::uint64_t lineStatesCompared = 0;
    std::uint64_t lineStatesDiffering = 0;
};

// Sends the host's requests of the file (open in reader) out of port, each burst with its
// recorded spacing and each request with its recorded pause after the previous answer, and
// compares what comes back with the recorded answers, calling differs for each one that is not
// the same. An answer is complete once as many bytes as recorded came, the line fell silent
// after some bytes, or the timeout passed; bytes that still come before the next request belong
// to it, unless the timeout passed with none: such an answer counts as late, whatever its bytes.
// Device bytes before the first request are not asked for. What the host did to the line (its
// control lines, breaks, settings) is told to the port before the request that follows it, and
// the device's lines at each answer's end are compared with the recording's where both show them
// (a port shows them once they change). Ends at the file's end, when stopAsked
// says so (the request under way is then not counted), or at a failure of the file or the port,
// which it returns. Memory holds one exchange: one whose request or answer runs to more than a
// million bursts, or whose answer to more than 64 MiB, ends asking as a failure.
Failure askDevice(ConversationReader& reader, WaitablePort& port, const AskSettings& settings,
                  AskTally& tally, const std::function<void(const AnswerDifference&)>& differs,
                  const std::function<bool()>& stopAsked);
