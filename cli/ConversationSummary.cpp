#include "cli/ConversationSummary.h"

#include <algorithm>
#include <unordered_set>

#include "conversation/DelayTally.h"
#include "conversation/Exchanges.h"

namespace {

// A request's bytes stand for it by their hash and length: distinct requests need no copies.
std::uint64_t requestKey(const Exchange& exchange) {
    return exchange.requestHash ^ (exchange.requestLength * 0x9E3779B97F4A7C15ull);
}

}  // namespace

std::optional<ConversationSummary> summarizeConversation(const std::string& path,
                                                         Failure* failure) {
    ConversationReader reader;
    if (Failure opened = reader.open(path); opened.happened()) {
        *failure = std::move(opened);
        return std::nullopt;
    }
    reader.keepLineEvents(true);
    ConversationSummary summary;
    summary.format = reader.format();
    ExchangeSplitter splitter;
    DelayTally answers;
    std::unordered_set<std::uint64_t> distinct;
    const auto count = [&](const std::optional<Exchange>& exchange) {
        if (!exchange) return;
        ++summary.requests;
        distinct.insert(requestKey(*exchange));
        if (exchange->answerDelayMicros) {
            answers.add(*exchange->answerDelayMicros);
        } else {
            ++summary.unansweredRequests;
        }
    };
    std::optional<std::uint64_t> first;
    ConversationBurst burst;
    while (reader.next(burst)) {
        // Counted apart: the figures of the bursts are what they were without the events.
        if (burst.lineEvent) {
            ++summary.lineEvents[static_cast<std::size_t>(burst.lineEvent->kind)];
            continue;
        }
        if (!first) first = burst.timeMicros;
        // Times may step back a little (a clock set back): the duration runs to the latest.
        if (burst.timeMicros > *first)
            summary.durationMicros = std::max(summary.durationMicros, burst.timeMicros - *first);
        const bool host = burst.direction == Direction::Host;
        ++(host ? summary.hostBursts : summary.deviceBursts);
        (host ? summary.hostBytes : summary.deviceBytes) += burst.bytes.size();
        count(splitter.add(burst));
    }
    if (reader.failure().happened()) {
        *failure = reader.failure();
        return std::nullopt;
    }
    count(splitter.finish());
    summary.distinctRequests = distinct.size();
    summary.answerP50Micros = answers.percentileMicros(0.50);
    summary.answerP99Micros = answers.percentileMicros(0.99);
    summary.answerMaxMicros = answers.maxMicros();
    summary.lastBlockCut = reader.endedInCutBlock();
    return summary;
}
