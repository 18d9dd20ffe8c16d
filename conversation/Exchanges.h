#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "conversation/ConversationBurst.h"

// A request's bytes stand for it by this hash (FNV-1a) and their count; it can be continued
// burst by burst, so a prefix's hash comes on the way to the whole request's.
inline constexpr std::uint64_t kRequestHashStart = 14695981039346656037ull;
std::uint64_t continueRequestHash(std::uint64_t hash, std::span<const std::uint8_t> bytes);

// A request and the start of its answer, as a conversation file holds them: a request is a run
// of the host's bytes up to the device's next bytes (one or more bursts); its answer is the
// device's bursts that follow until the host speaks again.
struct Exchange {
    std::uint64_t firstOffset = 0;       // the request's first burst in the file
    std::uint64_t requestEndMicros = 0;  // when the request's last burst arrived
    std::uint64_t requestLength = 0;     // its bytes over all its bursts
    std::uint64_t requestHash = 0;       // FNV-1a of those bytes: equal requests, equal hashes
    std::optional<std::uint64_t> answerDelayMicros;  // to the answer's first burst; none unanswered
};

// Cuts the bursts of a conversation, fed in file order, into exchanges. The device's bursts
// before the host's first request belong to no exchange.
class ExchangeSplitter {
public:
    // An exchange whose request ended with this burst (the device's first burst after it).
    std::optional<Exchange> add(const ConversationBurst& burst);
    // The last request, when the file ends before the device answered it.
    std::optional<Exchange> finish();

private:
    std::optional<Exchange> open_;  // a request the device has not yet answered
};
