#include "conversation/RuleAnswers.h"

#include <algorithm>
#include <memory>

#include "conversation/DelayTally.h"
#include "conversation/Exchanges.h"
#include "conversation/RequestIndex.h"
#include "conversation/RuleAnswer.h"

namespace {

std::string originOf(const AnswerRule& rule) { return "rule at line " + std::to_string(rule.line); }

}  // namespace

RuleAnswers::Started RuleAnswers::start(std::vector<AnswerRule> rules,
                                        const std::optional<std::string>& recording) {
    rules_.clear();
    failure_ = {};
    hasRecording_ = recording.has_value();
    path_ = recording.value_or("");
    Started started;
    for (AnswerRule& rule : rules) {
        if (!hasRecording_ && rule.answer == AnswerRule::Answer::Recorded)
            started.mistake = RulesMistake{rule.line, "`answer recorded` needs a recording"};
        else if (!hasRecording_ && rule.delay == AnswerRule::Delay::Recorded)
            started.mistake = RulesMistake{rule.line, "`delay recorded` needs a recording"};
        if (started.mistake) return started;
        Rule kept;
        kept.usesRecording =
            hasRecording_ &&
            (rule.answer == AnswerRule::Answer::Recorded ||
             (rule.answer == AnswerRule::Answer::Made && rule.delay != AnswerRule::Delay::Fixed));
        kept.rule = std::move(rule);
        rules_.push_back(std::move(kept));
    }
    if (!hasRecording_) return started;
    started.failure = findRecordedRequests(path_);
    if (!started.failure.happened()) started.failure = request_.open(path_);
    if (!started.failure.happened()) started.failure = answer_.open(path_);
    if (started.failure.happened()) return started;
    for (const Rule& rule : rules_) {
        if (rule.rule.answer == AnswerRule::Answer::Recorded && rule.recorded.empty()) {
            started.mistake = RulesMistake{
                rule.rule.line, "`answer recorded`, but no recorded request matches its `when`"};
            break;
        }
    }
    return started;
}

// One pass over the recording: each request's bytes (the longest a rule takes) are matched
// against the rules that use the recording as the request ends, and only its place is kept.
Failure RuleAnswers::findRecordedRequests(const std::string& path) {
    ConversationReader reader;
    if (Failure opened = reader.open(path); opened.happened()) return opened;
    ExchangeSplitter splitter;
    const auto delays = std::make_unique<DelayTally>();  // too big for the stack
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kLongestRuleRequest);
    std::uint64_t length = 0;
    const auto settle = [&](const std::optional<Exchange>& exchange) {
        if (!exchange) return;
        if (exchange->answerDelayMicros) delays->add(*exchange->answerDelayMicros);
        if (length <= kLongestRuleRequest) {
            for (Rule& rule : rules_) {
                if (rule.usesRecording &&
                    matchPattern(rule.rule.pattern, bytes).outcome == PatternMatch::Outcome::Match)
                    rule.recorded.push_back(
                        {exchange->firstOffset, exchange->answerDelayMicros.value_or(kUnanswered)});
            }
        }
        bytes.clear();
        length = 0;
    };
    ConversationBurst burst;
    while (reader.next(burst)) {
        if (burst.direction == Direction::Host) {
            const std::size_t room =
                kLongestRuleRequest - std::min<std::size_t>(bytes.size(), kLongestRuleRequest);
            bytes.insert(bytes.end(), burst.bytes.begin(),
                         burst.bytes.begin() +
                             static_cast<std::ptrdiff_t>(std::min(room, burst.bytes.size())));
            length += burst.bytes.size();
        }
        settle(splitter.add(burst));
    }
    if (reader.failure().happened()) return reader.failure();
    settle(splitter.finish());
    medianDelayMicros_ = delays->count() > 0 ? delays->percentileMicros(0.5) : 0;
    return {};
}

SourceOffer RuleAnswers::offer(std::span<const std::uint8_t> request, bool silenceFollowed) {
    const Rule* wrong = nullptr;
    std::string wrongCheck;
    for (Rule& rule : rules_) {
        const PatternMatch match = matchPattern(rule.rule.pattern, request);
        if (match.outcome == PatternMatch::Outcome::Match) {
            // Bytes that a longer request could still be wait for the silence that ends them.
            if (!silenceFollowed && !rule.rule.pattern.endsInFixedLength()) return {};
            return answerWith(rule, request, match);
        }
        // An earlier rule that more bytes could still match goes first.
        if (!silenceFollowed && match.mayGrow) return {};
        if (match.outcome == PatternMatch::Outcome::WrongCheck && !wrong) {
            wrong = &rule;
            wrongCheck = match.wrongCheck;
        }
    }
    if (!wrong) return {};
    return {SourceOffer::Kind::Refused, {}, originOf(wrong->rule) + ": wrong " + wrongCheck};
}

SourceOffer RuleAnswers::answerWith(Rule& rule, std::span<const std::uint8_t> request,
                                    const PatternMatch& match) {
    const AnswerRule& answering = rule.rule;
    SourceOffer offer{SourceOffer::Kind::Answer, {}, originOf(answering)};
    switch (answering.answer) {
        case AnswerRule::Answer::Nothing:
            offer.kind = SourceOffer::Kind::Refused;
            offer.origin += ": answer nothing";
            break;
        case AnswerRule::Answer::Made: {
            std::uint64_t delay = 0;
            if (answering.delay == AnswerRule::Delay::Fixed) {
                delay = answering.delayMicros;
            } else if (rule.usesRecording) {
                const RecordedRequest* recorded = nextRecorded(rule);
                delay = recorded && recorded->answerDelayMicros != kUnanswered
                            ? recorded->answerDelayMicros
                            : medianDelayMicros_;
            }
            offer.bursts.push_back({delay, madeAnswer(answering, request, match)});
            break;
        }
        case AnswerRule::Answer::Recorded: {
            const RecordedRequest* recorded = nextRecorded(rule);
            if (!recorded || !readRecordedAnswer(*recorded, offer.bursts))
                return {SourceOffer::Kind::Refused,
                        {},
                        offer.origin + ": the recording could not be read again"};
            if (answering.delay == AnswerRule::Delay::Fixed && !offer.bursts.empty()) {
                const std::uint64_t first = offer.bursts.front().delayMicros;
                for (MadeBurst& burst : offer.bursts)
                    burst.delayMicros = burst.delayMicros - first + answering.delayMicros;
            }
            rewriteRecorded(answering, request, match, offer.bursts);
            break;
        }
    }
    return offer;
}

// The rule's recorded requests in file order, the next unused one each time, then the last.
const RuleAnswers::RecordedRequest* RuleAnswers::nextRecorded(Rule& rule) {
    if (rule.recorded.empty()) return nullptr;
    const std::size_t at = std::min(rule.used, rule.recorded.size() - 1);
    rule.used = at + 1;
    return &rule.recorded[at];
}

// The device's bursts after the recorded request until the host spoke again, each due at its
// recorded distance from the request's last byte.
bool RuleAnswers::readRecordedAnswer(const RecordedRequest& recorded,
                                     std::vector<MadeBurst>& bursts) {
    if (failure_.happened()) return false;
    if (!request_.start(recorded.offset) || !request_.skipAll()) {
        failure_ = changedWhileRead(request_.reader(), path_);
        return false;
    }
    const auto answerOffset = request_.answerOffset();
    if (!answerOffset) return true;  // the recording ends before the device answered
    if (!answer_.continueFrom(*answerOffset)) {
        failure_ = changedWhileRead(answer_, path_);
        return false;
    }
    const std::uint64_t end = request_.endMicros();
    std::uint64_t latest = 0;
    ConversationBurst burst;
    while (answer_.next(burst) && burst.direction == Direction::Device) {
        latest = std::max(latest, burst.timeMicros > end ? burst.timeMicros - end : 0);
        bursts.push_back({latest, {burst.bytes.begin(), burst.bytes.end()}});
    }
    if (answer_.failure().happened()) {
        failure_ = answer_.failure();
        bursts.clear();
        return false;
    }
    return true;
}
