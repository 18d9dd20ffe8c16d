#include "conversation/RuleMatch.h"

#include <algorithm>
#include <optional>

namespace {

// Enough for any pattern a person writes over the longest request; a pattern built to explode
// (runs between runs over bytes that nearly match) meets it and simply does not match.
constexpr std::size_t kMostSteps = 1'000'000;

enum class Mode : std::uint8_t {
    Full,
    IgnoreChecks,  // every check value taken as right: was a wrong one all that failed?
    Prefix,        // do the bytes begin some match, with more bytes to come?
};

bool isDecimalDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool isHexDigit(std::uint8_t c) {
    return isDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
std::uint8_t upper(std::uint8_t c) {
    return c >= 'a' && c <= 'z' ? static_cast<std::uint8_t>(c - 'a' + 'A') : c;
}

// A backtracking search over (element, position). Whether the rest of the pattern matches from
// a position depends on nothing else (a check value covers bytes fixed by its own position), so
// a position that failed once is never tried again: that keeps runs after runs polynomial.
class Matcher {
public:
    Matcher(const RulePattern& pattern, std::span<const std::uint8_t> request, Mode mode)
        : elements_(pattern.elements),
          request_(request),
          mode_(mode),
          failed_((elements_.size() + 1) * (request.size() + 1), false),
          starts_(elements_.size(), 0),
          ends_(elements_.size(), 0),
          checks_(elements_.size()) {}

    bool run() { return match(0, 0); }
    std::size_t start(std::size_t element) const { return starts_[element]; }
    std::size_t end(std::size_t element) const { return ends_[element]; }
    // After a run that succeeded: whether the check value at this element is right.
    bool checkRight(std::size_t element, std::size_t at);

private:
    // The values of a check over growing spans from one start, filled as far as asked.
    struct CheckRun {
        std::size_t start = 0;
        std::vector<RunningCheck> states;  // [i]: after the first i bytes
    };

    bool match(std::size_t element, std::size_t at);
    bool expand(std::size_t element, std::size_t at);
    bool next(std::size_t element, std::size_t at) {
        ends_[element] = at;
        return match(element + 1, at);
    }

    const std::vector<PatternElement>& elements_;
    std::span<const std::uint8_t> request_;
    Mode mode_;
    std::vector<bool> failed_;
    std::vector<std::size_t> starts_, ends_;  // of each element on the path that matched
    std::vector<CheckRun> checks_;
    std::size_t steps_ = 0;
};

bool Matcher::match(std::size_t element, std::size_t at) {
    if (++steps_ > kMostSteps) return false;
    if (element == elements_.size()) return mode_ != Mode::Prefix && at == request_.size();
    const std::size_t key = element * (request_.size() + 1) + at;
    if (failed_[key]) return false;
    starts_[element] = at;
    if (expand(element, at)) return true;
    failed_[key] = true;
    return false;
}

bool Matcher::expand(std::size_t element, std::size_t at) {
    const PatternElement& here = elements_[element];
    const std::size_t left = request_.size() - at;
    // Prefix mode: the bytes end inside this element, so more bytes could complete it.
    const bool prefix = mode_ == Mode::Prefix;
    switch (here.kind) {
        case PatternElement::Kind::Bytes: {
            const std::size_t compared = std::min(here.bytes.size(), left);
            if (!std::equal(here.bytes.begin(), here.bytes.begin() + compared,
                            request_.begin() + at))
                return false;
            if (here.bytes.size() > left) return prefix;
            return next(element, at + here.bytes.size());
        }
        case PatternElement::Kind::Any:
            if (here.count > left) return prefix;
            return next(element, at + here.count);
        case PatternElement::Kind::Check: {
            const std::size_t length = here.check.method.lineLength();
            if (length > left) return prefix;
            if (mode_ != Mode::IgnoreChecks && !checkRight(element, at)) return false;
            return next(element, at + length);
        }
        case PatternElement::Kind::Run:
            break;
        case PatternElement::Kind::Capture:
            switch (here.form) {
                case CaptureForm::Fixed:
                    if (here.count > left) return prefix;
                    return next(element, at + here.count);
                case CaptureForm::Run:
                    break;
                case CaptureForm::Decimal:
                case CaptureForm::Hex: {
                    const auto digit =
                        here.form == CaptureForm::Decimal ? isDecimalDigit : isHexDigit;
                    std::size_t digits = 0;
                    while (digits < left && digit(request_[at + digits])) ++digits;
                    if (prefix && digits == left) return true;
                    for (std::size_t count = 1; count <= digits; ++count)
                        if (next(element, at + count)) return true;
                    return false;
                }
            }
            break;
    }
    // A run: shortest first. It can always take more bytes, so in prefix mode it ends the search.
    if (prefix) return true;
    if (element + 1 == elements_.size()) return next(element, request_.size());
    const PatternElement& after = elements_[element + 1];
    const bool literalAfter = after.kind == PatternElement::Kind::Bytes;
    for (std::size_t end = at; end <= request_.size() && steps_ <= kMostSteps; ++end) {
        if (literalAfter && end < request_.size() && request_[end] != after.bytes.front()) continue;
        if (next(element, end)) return true;
    }
    return false;
}

bool Matcher::checkRight(std::size_t element, std::size_t at) {
    const RuleCheck& check = elements_[element].check;
    const auto covered = check.covered(request_.first(at));
    if (!covered) return false;
    const auto [start, end] = *covered;
    CheckRun& run = checks_[element];
    if (run.states.empty() || run.start != start) {
        run.start = start;
        run.states.assign(1, RunningCheck(check.method));
    }
    while (run.states.size() <= end - start) {
        RunningCheck grown = run.states.back();
        grown.add(request_[start + run.states.size() - 1]);
        run.states.push_back(grown);
        ++steps_;
    }
    const auto value = run.states[end - start].value();
    if (!value) return false;
    // Hex characters are written uppercase, and taken in either case.
    const bool text = check.method.kind == CheckMethod::Kind::Nmea ||
                      check.method.kind == CheckMethod::Kind::LrcAscii;
    for (std::size_t i = 0; i < value->length; ++i) {
        const std::uint8_t came = request_[at + i];
        if ((text ? upper(came) : came) != value->bytes[i]) return false;
    }
    return true;
}

}  // namespace

PatternMatch matchPattern(const RulePattern& pattern, std::span<const std::uint8_t> request) {
    PatternMatch result;
    if (request.size() > kLongestRuleRequest || pattern.elements.empty()) return result;
    Matcher full(pattern, request, Mode::Full);
    if (full.run()) {
        result.outcome = PatternMatch::Outcome::Match;
        result.captures.resize(pattern.captureNames.size());
        for (std::size_t e = 0; e < pattern.elements.size(); ++e) {
            const PatternElement& element = pattern.elements[e];
            if (element.kind == PatternElement::Kind::Capture)
                result.captures[element.capture] = {full.start(e), full.end(e) - full.start(e)};
        }
        return result;
    }
    Matcher loose(pattern, request, Mode::IgnoreChecks);
    if (loose.run()) {
        for (std::size_t e = 0; e < pattern.elements.size(); ++e) {
            const PatternElement& element = pattern.elements[e];
            if (element.kind == PatternElement::Kind::Check &&
                !loose.checkRight(e, loose.start(e))) {
                result.outcome = PatternMatch::Outcome::WrongCheck;
                result.wrongCheck = element.check.name;
                break;
            }
        }
    }
    result.mayGrow = Matcher(pattern, request, Mode::Prefix).run();
    return result;
}
