#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "conversation/AnswerRules.h"

struct CapturedBytes {
    std::size_t start = 0;
    std::size_t length = 0;
};

// What a rule's pattern says of a request's bytes.
struct PatternMatch {
    enum class Outcome : std::uint8_t {
        NoMatch,
        WrongCheck,  // every element matched but a check value was wrong
        Match,
    };
    Outcome outcome = Outcome::NoMatch;
    std::vector<CapturedBytes> captures;  // Match: one per capture name, in the request
    std::string wrongCheck;               // WrongCheck: the first wrong check value's name
    // NoMatch and WrongCheck: more bytes could still make these a match.
    bool mayGrow = false;
};

// Matches the pattern against all of the request's bytes. Runs and variable captures take the
// shortest length that lets the rest match. The search is bounded: a request it cannot settle
// within its steps counts as no match.
PatternMatch matchPattern(const RulePattern& pattern, std::span<const std::uint8_t> request);
