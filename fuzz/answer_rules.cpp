// The answer rules over any text and any request: the text before the first NUL is a rules
// file, the bytes after it a request. Parsing gives rules or one mistake with its line and
// words, never a crash; rules that parsed answer the request without a recording, and what they
// answer before the silence they answer the same after it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "conversation/AnswerRules.h"
#include "conversation/RuleAnswers.h"
#include "fuzz/FuzzSupport.h"

namespace {

bool sameOffer(const SourceOffer& a, const SourceOffer& b) {
    if (a.kind != b.kind || a.origin != b.origin || a.bursts.size() != b.bursts.size())
        return false;
    for (std::size_t i = 0; i < a.bursts.size(); ++i)
        if (a.bursts[i].delayMicros != b.bursts[i].delayMicros ||
            a.bursts[i].bytes != b.bursts[i].bytes)
            return false;
    return true;
}

void checkOffer(const SourceOffer& offer) {
    check(offer.kind == SourceOffer::Kind::None || !offer.origin.empty(), "an offer says whose");
    check(offer.kind == SourceOffer::Kind::Answer || offer.bursts.empty(),
          "bursts only with an answer");
    for (std::size_t i = 1; i < offer.bursts.size(); ++i)
        check(offer.bursts[i].delayMicros >= offer.bursts[i - 1].delayMicros,
              "delays do not decrease");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto* const end = data + size;
    const auto* const nul = std::find(data, end, std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(data),
                                static_cast<std::size_t>(nul - data));
    const std::span<const std::uint8_t> request(nul == end ? end : nul + 1, end);

    ParsedRules parsed = parseAnswerRules(text);
    if (parsed.mistake) {
        const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
        check(parsed.mistake->line >= 1 && parsed.mistake->line <= lines + 1,
              "a mistake's line is in the text");
        check(!parsed.mistake->text.empty(), "a mistake says what is wrong");
        check(parsed.rules.empty(), "no rules with a mistake");
        return 0;
    }
    RuleAnswers answers;
    const RuleAnswers::Started started = answers.start(std::move(parsed.rules), std::nullopt);
    check(!started.failure.happened(), "no recording, no failure");
    if (started.mistake) return 0;
    const SourceOffer early = answers.offer(request, false);
    const SourceOffer late = answers.offer(request, true);
    checkOffer(early);
    checkOffer(late);
    check(early.kind == SourceOffer::Kind::None || sameOffer(early, late),
          "what is answered before the silence is answered the same after it");
    return 0;
}
