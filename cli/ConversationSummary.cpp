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

// Counts one interface's bursts and splits its requests from their answers.
class InterfaceCount {
public:
    void add(const ConversationBurst& burst, InterfaceSummary& summary) {
        if (burst.lineEvent) {
            ++summary.lineEvents[static_cast<std::size_t>(burst.lineEvent->kind)];
            return;
        }
        const bool host = burst.direction == Direction::Host;
        ++(host ? summary.hostBursts : summary.deviceBursts);
        (host ? summary.hostBytes : summary.deviceBytes) += burst.bytes.size();
        count(splitter_.add(burst), summary);
    }
    void finish(InterfaceSummary& summary) {
        count(splitter_.finish(), summary);
        summary.distinctRequests = distinct_.size();
        summary.answerP50Micros = answers_.percentileMicros(0.50);
        summary.answerP99Micros = answers_.percentileMicros(0.99);
        summary.answerMaxMicros = answers_.maxMicros();
    }

private:
    void count(const std::optional<Exchange>& exchange, InterfaceSummary& summary) {
        if (!exchange) return;
        ++summary.requests;
        distinct_.insert(requestKey(*exchange));
        if (exchange->answerDelayMicros) {
            answers_.add(*exchange->answerDelayMicros);
        } else {
            ++summary.unansweredRequests;
        }
    }

    ExchangeSplitter splitter_;
    DelayTally answers_;
    std::unordered_set<std::uint64_t> distinct_;
};

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
    // The whole file counted as one conversation, as a reader that ignores interfaces sees it.
    InterfaceCount all;
    std::vector<InterfaceCount> each;
    std::optional<std::uint64_t> first;
    ConversationBurst burst;
    while (reader.next(burst)) {
        // Interfaces may be described after the first packet: each is counted once it is.
        const std::vector<ConversationInterface>& described = reader.interfaces();
        while (summary.interfaces.size() < described.size()) {
            summary.interfaces.push_back({described[summary.interfaces.size()]});
            each.emplace_back();
        }
        all.add(burst, summary.all);
        each[burst.interfaceIndex].add(burst, summary.interfaces[burst.interfaceIndex]);
        // Counted apart: the figures of the bursts are what they were without the events.
        if (burst.lineEvent) continue;
        if (!first) first = burst.timeMicros;
        // Times may step back a little (a clock set back): the duration runs to the latest.
        if (burst.timeMicros > *first)
            summary.durationMicros = std::max(summary.durationMicros, burst.timeMicros - *first);
    }
    if (reader.failure().happened()) {
        *failure = reader.failure();
        return std::nullopt;
    }
    for (std::size_t i = summary.interfaces.size(); i < reader.interfaces().size(); ++i) {
        summary.interfaces.push_back({reader.interfaces()[i]});
        each.emplace_back();
    }
    all.finish(summary.all);
    for (std::size_t i = 0; i < each.size(); ++i) each[i].finish(summary.interfaces[i]);
    summary.lastBlockCut = reader.endedInCutBlock();
    return summary;
}
