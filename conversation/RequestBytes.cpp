#include "conversation/RequestBytes.h"

#include <algorithm>
#include <cstring>

bool RequestBytes::start(std::uint64_t offset) {
    ended_ = false;
    failed_ = false;
    done_ = 0;
    endMicros_ = 0;
    answerOffset_.reset();
    burst_ = {};
    if (!reader_.continueFrom(offset)) {
        failed_ = true;
        return false;
    }
    if (!nextBurst()) return false;
    // A request begins with the host's burst there: anything else means the file changed.
    if (ended_) failed_ = true;
    return !failed_;
}

// Moves to the request's next burst, or to its end.
bool RequestBytes::nextBurst() {
    BurstPlace place;
    if (!reader_.nextPlace(place)) {
        failed_ = reader_.failure().happened();
        ended_ = true;
        return !failed_;
    }
    if (place.direction != Direction::Host) {
        answerOffset_ = place.offset;
        ended_ = true;
        return true;
    }
    burst_ = place;
    done_ = 0;
    endMicros_ = place.timeMicros;
    return true;
}

bool RequestBytes::atEnd() {
    while (!ended_ && !failed_ && done_ == burst_.length) nextBurst();
    return ended_ || failed_;
}

std::span<const std::uint8_t> RequestBytes::next(std::size_t most) {
    if (atEnd()) return {};
    const std::size_t count = static_cast<std::size_t>(
        std::min<std::uint64_t>({burst_.length - done_, piece_.size(), most}));
    if (!reader_.readBytes(burst_.bytesAt + done_, piece_.data(), count)) {
        failed_ = true;
        return {};
    }
    done_ += count;
    return {piece_.data(), count};
}

std::optional<std::uint64_t> RequestBytes::skipAll() {
    std::uint64_t length = 0;
    while (!ended_ && !failed_) {
        length += burst_.length - done_;
        done_ = burst_.length;
        nextBurst();
    }
    if (failed_) return std::nullopt;
    return length;
}

bool sameStart(RequestBytes& first, std::uint64_t firstOffset, RequestBytes& second,
               std::uint64_t secondOffset, std::uint64_t length) {
    if (!first.start(firstOffset) || !second.start(secondOffset)) return false;
    std::array<std::uint8_t, RequestBytes::kPieceSize> copy;
    for (std::uint64_t done = 0; done < length;) {
        const auto piece = first.next(static_cast<std::size_t>(
            std::min<std::uint64_t>(length - done, RequestBytes::kPieceSize)));
        if (piece.empty()) return false;
        std::memcpy(copy.data(), piece.data(), piece.size());
        for (std::size_t compared = 0; compared < piece.size();) {
            const auto other = second.next(piece.size() - compared);
            if (other.empty() ||
                std::memcmp(copy.data() + compared, other.data(), other.size()) != 0)
                return false;
            compared += other.size();
        }
        done += piece.size();
    }
    return true;
}
