#include "conversation/Exchanges.h"

namespace {

constexpr std::uint64_t kFnvPrime = 1099511628211ull;

}  // namespace

std::uint64_t continueRequestHash(std::uint64_t hash, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) hash = (hash ^ byte) * kFnvPrime;
    return hash;
}

std::optional<Exchange> ExchangeSplitter::add(const ConversationBurst& burst) {
    if (burst.direction == Direction::Host) {
        if (!open_) open_ = Exchange{burst.offset, 0, 0, kRequestHashStart, std::nullopt};
        open_->requestHash = continueRequestHash(open_->requestHash, burst.bytes);
        open_->requestLength += burst.bytes.size();
        open_->requestEndMicros = burst.timeMicros;
        return std::nullopt;
    }
    if (!open_) return std::nullopt;  // before the first request, or more of an answer
    Exchange answered = *open_;
    open_.reset();
    answered.answerDelayMicros = burst.timeMicros > answered.requestEndMicros
                                     ? burst.timeMicros - answered.requestEndMicros
                                     : 0;
    return answered;
}

std::optional<Exchange> ExchangeSplitter::finish() {
    std::optional<Exchange> last = open_;
    open_.reset();
    return last;
}
