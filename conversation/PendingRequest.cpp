#include "conversation/PendingRequest.h"

#include <algorithm>
#include <cstring>

#include "conversation/Exchanges.h"

namespace {

constexpr std::size_t kPrefixLength = RequestIndex::kPrefixLength;

}  // namespace

PendingRequest::PendingRequest(const RequestIndex& index)
    : index_(index), hash_(kRequestHashStart) {
    held_.reserve(kPrefixLength);
}

Failure PendingRequest::open() {
    if (index_.path().empty()) return {};  // no recording: nothing to read again
    for (RequestBytes& stream : streams_) {
        if (Failure opened = stream.open(index_.path()); opened.happened()) return opened;
    }
    return {};
}

void PendingRequest::clear() {
    equal_ = nullptr;
    held_.clear();
    length_ = 0;
    hash_ = kRequestHashStart;
    candidates_ = {};
    candidate_ = 0;
}

void PendingRequest::add(std::span<const std::uint8_t> bytes) {
    equal_ = nullptr;
    const std::uint64_t before = length_;
    length_ += bytes.size();
    if (failed_) return;
    // The first bytes are held even past the longest recorded request: answer sources look at them.
    const std::size_t toHold =
        before < kPrefixLength ? std::min<std::size_t>(bytes.size(), kPrefixLength - before) : 0;
    held_.insert(held_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(toHold));
    // Past the longest request the bytes are no recorded request whatever follows: only their
    // count matters from then on.
    if (before > index_.longestRequest()) return;
    hash_ = continueRequestHash(hash_, bytes);
    if (length_ <= kPrefixLength || length_ > index_.longestRequest()) return;
    if (before <= kPrefixLength) findAnchor();
    follow(bytes.subspan(toHold));
}

bool PendingRequest::failedIn(const RequestBytes& stream) {
    if (stream.failed() && !failed_) failed_ = &stream.reader();
    return failed_ != nullptr;
}

// Whether the request begins with the held bytes; the stream is then just past them.
bool PendingRequest::startsWithHeld(RequestBytes& stream, std::size_t number) {
    if (!stream.start(index_.offsetOf(number))) return false;
    for (std::size_t compared = 0; compared < held_.size();) {
        const auto piece = stream.next(held_.size() - compared);
        if (piece.empty() || std::memcmp(piece.data(), held_.data() + compared, piece.size()) != 0)
            return false;
        compared += piece.size();
    }
    return true;
}

// The held bytes are whole: the first long request that begins with them becomes the anchor.
void PendingRequest::findAnchor() {
    const std::uint64_t prefixKey =
        RequestIndex::keyOf(continueRequestHash(kRequestHashStart, held_), kPrefixLength);
    candidates_ = index_.longRequestsBeginning(prefixKey);
    RequestBytes& anchor = streams_[anchor_];
    for (candidate_ = 0; hasAnchor(); ++candidate_) {
        if (startsWithHeld(anchor, anchorNumber())) return;
        if (failedIn(anchor)) return;
    }
}

// Compares the bytes beyond the held ones with the anchor as they come.
void PendingRequest::follow(std::span<const std::uint8_t> bytes) {
    while (!bytes.empty() && hasAnchor() && !failed_) {
        RequestBytes& anchor = streams_[anchor_];
        const auto piece = anchor.next(bytes.size());
        if (failedIn(anchor)) return;
        const std::size_t same = static_cast<std::size_t>(
            std::mismatch(piece.begin(), piece.end(), bytes.begin()).first - piece.begin());
        bytes = bytes.subspan(same);
        if (same == piece.size() && !piece.empty()) continue;
        // The anchor ends or differs here: another must begin as the bytes so far do.
        moveAnchorPast(length_ - bytes.size());
    }
}

// Finds the next candidate that agrees with the anchor on its first `agreed` bytes; its stream
// becomes the anchor's, just past them.
void PendingRequest::moveAnchorPast(std::uint64_t agreed) {
    const std::uint64_t anchorOffset = index_.offsetOf(anchorNumber());
    for (++candidate_; hasAnchor(); ++candidate_) {
        RequestBytes& before = spare(0);
        RequestBytes& candidate = spare(1);
        if (sameStart(before, anchorOffset, candidate, index_.offsetOf(anchorNumber()), agreed)) {
            anchor_ = static_cast<std::size_t>(&candidate - streams_.data());
            return;
        }
        if (failedIn(before) || failedIn(candidate)) return;
    }
}

bool PendingRequest::equals(std::size_t number) {
    equal_ = nullptr;
    if (failed_ || length_ > index_.longestRequest()) return false;
    RequestBytes& probe = spare(0);
    if (length_ <= kPrefixLength) {
        const bool equal = startsWithHeld(probe, number) && probe.atEnd();
        return !failedIn(probe) && settled(equal, probe);
    }
    if (!hasAnchor()) return false;
    RequestBytes& anchor = streams_[anchor_];
    if (number == anchorNumber())
        return anchor.atEnd() && !failedIn(anchor) && settled(true, anchor);
    // The anchor stands for the bytes that came: the other request must be its start.
    RequestBytes& other = spare(1);
    const bool equal = sameStart(probe, index_.offsetOf(anchorNumber()), other,
                                 index_.offsetOf(number), length_) &&
                       other.atEnd();
    return !failedIn(probe) && !failedIn(other) && settled(equal, other);
}

bool PendingRequest::settled(bool equal, const RequestBytes& request) {
    if (equal) equal_ = &request;
    return equal;
}

std::size_t PendingRequest::heldBytes() const {
    std::size_t held = held_.capacity();
    for (const RequestBytes& stream : streams_) held += stream.heldBytes();
    return held;
}
