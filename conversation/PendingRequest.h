#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "conversation/RequestBytes.h"
#include "conversation/RequestIndex.h"
#include "engine/Failure.h"

// The host's bytes since the last request was settled, kept only as far as telling which recorded
// request they are needs: the first RequestIndex::kPrefixLength are held; beyond, each byte is
// compared as it comes with a long recorded request that begins the same (the anchor, read from
// the file a piece at a time), which then stands for what came. Memory stays at a few fixed
// buffers however long the bytes grow.
class PendingRequest {
public:
    explicit PendingRequest(const RequestIndex& index);

    Failure open();
    void add(std::span<const std::uint8_t> bytes);
    void clear();

    std::uint64_t length() const { return length_; }
    // RequestIndex's key of the bytes; meant while length() is within the longest request.
    std::uint64_t key() const { return RequestIndex::keyOf(hash_, length_); }
    // Whether the bytes are all of recorded request `number`'s. False too when reading failed.
    bool equals(std::size_t number);
    // After equals found them equal, until the next call: the request read to its end (where
    // its last burst arrived and its answer starts).
    const RequestBytes* equalRequest() const { return equal_; }
    // The bytes from the first, up to RequestIndex::kPrefixLength of them.
    const std::vector<std::uint8_t>& firstBytes() const { return held_; }
    // The reader whose reading failed, or null.
    const ConversationReader* failedReader() const { return failed_; }
    // What is held in memory for the bytes, in bytes.
    std::size_t heldBytes() const;

private:
    bool hasAnchor() const { return candidate_ < candidates_.size(); }
    std::uint32_t anchorNumber() const { return candidates_[candidate_].number(); }
    RequestBytes& spare(std::size_t which) { return streams_[(anchor_ + 1 + which) % 3]; }
    bool startsWithHeld(RequestBytes& stream, std::size_t number);
    void findAnchor();
    void follow(std::span<const std::uint8_t> bytes);
    void moveAnchorPast(std::uint64_t agreed);
    bool failedIn(const RequestBytes& stream);
    bool settled(bool equal, const RequestBytes& request);

    const RequestIndex& index_;
    std::vector<std::uint8_t> held_;
    std::uint64_t length_ = 0;
    std::uint64_t hash_ = 0;
    // The long requests beginning with the held bytes' key; those before the anchor no longer
    // begin as the bytes that came. None left: no recorded request does.
    std::span<const RequestIndex::Occurrence> candidates_;
    std::size_t candidate_ = 0;
    // The anchor's stream, read exactly as far as the bytes that came, and two for comparing.
    std::array<RequestBytes, 3> streams_;
    std::size_t anchor_ = 0;
    const ConversationReader* failed_ = nullptr;
    const RequestBytes* equal_ = nullptr;
};
