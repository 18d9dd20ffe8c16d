#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "conversation/AnswerRules.h"
#include "conversation/AnswerSource.h"
#include "conversation/RuleMatch.h"

// The bytes a matched rule answers with, or writes into the recorded answer it gives.

// A capture as an answer writes it: the bytes as they came, or its number worked on and written
// in its own form or the one asked for.
std::vector<std::uint8_t> captureValueBytes(const CaptureValue& value, const RulePattern& pattern,
                                            std::span<const std::uint8_t> request,
                                            const std::vector<CapturedBytes>& captures);

// The answer of a rule that makes its own (`answer ELEMENTS...`); `match` is its pattern's.
std::vector<std::uint8_t> madeAnswer(const AnswerRule& rule, std::span<const std::uint8_t> request,
                                     const PatternMatch& match);

// A recorded answer made this request's: the rule's `put`s written at their offsets over all
// the bursts (what lies beyond the answer's end is dropped), then its check value recomputed
// over the whole answer into its last bytes. The bursts keep their lengths and delays.
void rewriteRecorded(const AnswerRule& rule, std::span<const std::uint8_t> request,
                     const PatternMatch& match, std::vector<MadeBurst>& bursts);
