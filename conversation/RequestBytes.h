#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "conversation/ConversationReader.h"
#include "engine/Failure.h"

// A recorded request's bytes read again from the file a piece at a time (the host's bursts from
// the request's first to the device's next), so that a request of any length costs one fixed
// buffer.
class RequestBytes {
public:
    static constexpr std::size_t kPieceSize = 4096;

    Failure open(const std::string& path) { return reader_.open(path); }
    // Reads from the request whose first burst starts at offset. False after a failure.
    bool start(std::uint64_t offset);
    // The next bytes, at most a piece (and at most `most`); empty at the request's end and on a
    // failure (failed() tells).
    std::span<const std::uint8_t> next(std::size_t most = kPieceSize);
    // Whether the request has no bytes left; reads no byte.
    bool atEnd();
    // Passes over the request's bytes without reading them: the length it had, or none on a
    // failure. The place after it is then where the answer starts (answerOffset).
    std::optional<std::uint64_t> skipAll();

    bool failed() const { return failed_; }
    // Once the end was reached: when the request's last burst arrived, and the block that ended
    // it (the device's next burst; none when the file ends first).
    std::uint64_t endMicros() const { return endMicros_; }
    std::optional<std::uint64_t> answerOffset() const { return answerOffset_; }
    const ConversationReader& reader() const { return reader_; }
    std::size_t heldBytes() const { return piece_.size() + reader_.heldBytes(); }

private:
    bool nextBurst();

    ConversationReader reader_;
    std::array<std::uint8_t, kPieceSize> piece_{};
    BurstPlace burst_;
    std::uint64_t done_ = 0;  // of the current burst's bytes
    std::uint64_t endMicros_ = 0;
    std::optional<std::uint64_t> answerOffset_;
    bool ended_ = true;
    bool failed_ = false;
};

// Whether two recorded requests begin with the same `length` bytes (both at least that long).
// False too on a failure (either's failed()).
bool sameStart(RequestBytes& first, std::uint64_t firstOffset, RequestBytes& second,
               std::uint64_t secondOffset, std::uint64_t length);
