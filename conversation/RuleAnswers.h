#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "conversation/AnswerRules.h"
#include "conversation/AnswerSource.h"
#include "conversation/ConversationReader.h"
#include "conversation/RequestBytes.h"
#include "conversation/RuleMatch.h"
#include "engine/Failure.h"

// The answers of a rules file (AnswerRules.h), with or without the recording the rules may take
// answers and delays from. Rules are tried in file order; the first whose pattern matches
// answers ("rule at line N", N the line of its `when`). `answer nothing` refuses ("rule at line
// N: answer nothing"), and so does a wrong check value that no later rule matches ("rule at line
// N: wrong crc16-modbus").
class RuleAnswers final : public AnswerSource {
public:
    struct Started {
        Failure failure;                      // the recording could not be read
        std::optional<RulesMistake> mistake;  // a rule this recording (or none) cannot serve
        bool ok() const { return !failure.happened() && !mistake; }
    };

    // Takes the rules. With a recording, reads it once and notes for each rule that answers or
    // waits as recorded which recorded requests its pattern matches: their places only, a few
    // bytes each. Without one, `answer recorded` and `delay recorded` are mistakes, and an
    // unwritten delay is none.
    Started start(std::vector<AnswerRule> rules, const std::optional<std::string>& recording);

    SourceOffer offer(std::span<const std::uint8_t> request, bool silenceFollowed) override;

    // Reading the recording again failed (it changed or went away); its answers are refused since.
    const Failure& failure() const { return failure_; }

private:
    // A recorded request a rule's pattern matched: where it starts in the file, and the delay
    // of its answer (kUnanswered when the device did not answer it).
    struct RecordedRequest {
        std::uint64_t offset = 0;
        std::uint64_t answerDelayMicros = 0;
    };
    static constexpr std::uint64_t kUnanswered = ~std::uint64_t{0};
    struct Rule {
        AnswerRule rule;
        bool usesRecording = false;
        std::vector<RecordedRequest> recorded;  // in file order
        std::size_t used = 0;                   // of recorded
    };

    Failure findRecordedRequests(const std::string& path);
    SourceOffer answerWith(Rule& rule, std::span<const std::uint8_t> request,
                           const PatternMatch& match);
    const RecordedRequest* nextRecorded(Rule& rule);
    bool readRecordedAnswer(const RecordedRequest& recorded, std::vector<MadeBurst>& bursts);

    std::vector<Rule> rules_;
    bool hasRecording_ = false;
    std::string path_;
    std::uint64_t medianDelayMicros_ = 0;
    RequestBytes request_;       // a recorded request passed over, to where its answer starts
    ConversationReader answer_;  // its answer's bursts
    Failure failure_;
};
