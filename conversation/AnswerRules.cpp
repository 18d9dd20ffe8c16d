#include "conversation/AnswerRules.h"

#include <algorithm>
#include <limits>

#include "conversation/HexDigits.h"

namespace {

// Bounds that keep a hostile rules file from costing more than a request could: no pattern
// needs more elements, no element more bytes, than a request of kLongestRuleRequest has.
constexpr std::size_t kMostElements = 256;
constexpr std::size_t kMostPutOffset = 1'000'000;
constexpr std::uint64_t kMostDelayMicros = 3'600'000'000;  // an hour

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isNameChar(char c) { return isLetter(c) || isDigit(c) || c == '_'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool isName(std::string_view text) {
    return !text.empty() && !isDigit(text.front()) &&
           std::all_of(text.begin(), text.end(), isNameChar);
}

// Decimal, or hex after 0x; none when it is no number or does not fit 64 bits.
std::optional<std::uint64_t> numberOf(std::string_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = base == 16 ? hexDigitValue(c) : (isDigit(c) ? c - '0' : -1);
        if (digit < 0) return std::nullopt;
        if (value >
            (std::numeric_limits<std::uint64_t>::max() - static_cast<unsigned>(digit)) / base)
            return std::nullopt;
        value = value * base + static_cast<unsigned>(digit);
    }
    return value;
}

// A count written as digits, with an optional "le" after them.
struct Count {
    std::uint64_t value = 0;
    bool littleEndian = false;
};
std::optional<Count> countOf(std::string_view text) {
    Count count;
    if (text.size() > 2 && text.substr(text.size() - 2) == "le") {
        count.littleEndian = true;
        text.remove_suffix(2);
    }
    if (text.empty() || !std::all_of(text.begin(), text.end(), isDigit) || text.size() > 9)
        return std::nullopt;
    count.value = *numberOf(text);
    return count;
}

std::string quote(std::string_view text) { return "'" + std::string(text) + "'"; }

struct Token {
    std::string text;  // as written; for a quoted text, what is between the quotes
    bool quoted = false;
    std::vector<std::uint8_t> bytes;  // a quoted text's bytes, escapes resolved
};

bool isWord(const Token& token, std::string_view word) {
    return !token.quoted && token.text == word;
}

class RulesParser {
public:
    ParsedRules parse(std::string_view text);

private:
    bool fail(std::string text) {
        if (!mistake_) mistake_ = RulesMistake{line_, std::move(text)};
        return false;
    }
    bool tokenize(std::string_view line, std::vector<Token>& tokens);
    bool quoted(std::string_view line, std::size_t& at, Token& token);
    bool lineOf(const std::vector<Token>& tokens);
    bool finishRule();
    bool when(const std::vector<Token>& tokens);
    bool answer(const std::vector<Token>& tokens);
    bool put(const std::vector<Token>& tokens);
    bool delay(const std::vector<Token>& tokens);

    bool patternElement(const std::vector<Token>& tokens, std::size_t& at, RulePattern& pattern);
    bool captureDefinition(std::string_view token, RulePattern& pattern);
    bool isCheck(const Token& token) const;
    bool check(const std::vector<Token>& tokens, std::size_t& at, RuleCheck& check);
    bool generalCrc(std::string_view token, CheckMethod& method);
    bool captureValue(std::string_view token, CaptureValue& value);
    bool hexBytes(std::string_view token, std::vector<std::uint8_t>& bytes);
    bool unknownElement(std::string_view token);

    std::size_t line_ = 0;
    std::optional<RulesMistake> mistake_;
    std::vector<AnswerRule> rules_;
    std::optional<AnswerRule> open_;  // the rule being read
    bool hasAnswer_ = false;
    bool hasDelay_ = false;
};

ParsedRules RulesParser::parse(std::string_view text) {
    std::vector<Token> tokens;
    while (!text.empty() || line_ == 0) {
        ++line_;
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        tokens.clear();
        if (!tokenize(line, tokens) || !lineOf(tokens)) return {{}, mistake_};
    }
    if (!finishRule()) return {{}, mistake_};
    return {std::move(rules_), std::nullopt};
}

// A token runs to a space; a quoted text is a token of its own, and spaces inside braces or
// parentheses belong to the token, so that {seq + 1 :dec} and crc(16, ...) stay whole.
bool RulesParser::tokenize(std::string_view line, std::vector<Token>& tokens) {
    std::size_t at = 0;
    while (at < line.size()) {
        const char c = line[at];
        if (isSpace(c)) {
            ++at;
            continue;
        }
        if (c == '#') break;
        Token token;
        if (c == '"') {
            if (!quoted(line, at, token)) return false;
            tokens.push_back(std::move(token));
            continue;
        }
        const std::size_t start = at;
        std::string open;  // the brackets still open, innermost last
        while (at < line.size()) {
            const char d = line[at];
            if (open.empty() && (isSpace(d) || d == '"' || d == '#')) break;
            if (d == '{' || d == '(') open.push_back(d);
            if (!open.empty() && d == (open.back() == '{' ? '}' : ')')) open.pop_back();
            ++at;
        }
        if (!open.empty()) return fail("unterminated '" + open.substr(0, 1) + "'");
        token.text = std::string(line.substr(start, at - start));
        tokens.push_back(std::move(token));
    }
    return true;
}

bool RulesParser::quoted(std::string_view line, std::size_t& at, Token& token) {
    token.quoted = true;
    for (++at; at < line.size(); ++at) {
        char c = line[at];
        if (c == '"') {
            ++at;
            token.text.assign(token.bytes.begin(), token.bytes.end());
            return true;
        }
        if (c == '\\') {
            if (++at == line.size()) break;
            switch (line[at]) {
                case 'r':
                    c = '\r';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case '0':
                    c = '\0';
                    break;
                case '\\':
                    c = '\\';
                    break;
                case '"':
                    c = '"';
                    break;
                case 'x': {
                    const int high = at + 1 < line.size() ? hexDigitValue(line[at + 1]) : -1;
                    const int low = at + 2 < line.size() ? hexDigitValue(line[at + 2]) : -1;
                    if (high < 0 || low < 0) return fail("\\x needs two hex digits");
                    c = static_cast<char>(high << 4 | low);
                    at += 2;
                    break;
                }
                default:
                    return fail("unknown escape '\\" + std::string(1, line[at]) + "' in text");
            }
        }
        token.bytes.push_back(static_cast<std::uint8_t>(c));
    }
    return fail("unterminated text");
}

bool RulesParser::lineOf(const std::vector<Token>& tokens) {
    if (tokens.empty()) return true;
    const Token& keyword = tokens.front();
    if (isWord(keyword, "when")) return when(tokens);
    if (!open_ && (isWord(keyword, "answer") || isWord(keyword, "put") || isWord(keyword, "delay")))
        return fail("`" + keyword.text + "` before any `when`");
    if (isWord(keyword, "answer")) return answer(tokens);
    if (isWord(keyword, "put")) return put(tokens);
    if (isWord(keyword, "delay")) return delay(tokens);
    return fail("a line starts with when, answer, put or delay, not " +
                quote(keyword.quoted ? "\"" + keyword.text + "\"" : keyword.text));
}

bool RulesParser::finishRule() {
    if (!open_) return true;
    if (!hasAnswer_) {
        line_ = open_->line;
        return fail("a rule needs an `answer` line");
    }
    rules_.push_back(std::move(*open_));
    open_.reset();
    return true;
}

bool RulesParser::when(const std::vector<Token>& tokens) {
    if (!finishRule()) return false;
    open_ = AnswerRule{};
    open_->line = line_;
    hasAnswer_ = hasDelay_ = false;
    if (tokens.size() == 1) return fail("`when` needs the request's elements");
    for (std::size_t at = 1; at < tokens.size(); ++at) {
        if (open_->pattern.elements.size() == kMostElements)
            return fail("a `when` of more than " + std::to_string(kMostElements) + " elements");
        if (!patternElement(tokens, at, open_->pattern)) return false;
    }
    return true;
}

bool RulesParser::answer(const std::vector<Token>& tokens) {
    if (hasAnswer_) return fail("a rule has one `answer` line");
    hasAnswer_ = true;
    AnswerRule& rule = *open_;
    if (tokens.size() == 1) return fail("`answer` needs bytes, `recorded` or `nothing`");
    if (isWord(tokens[1], "nothing")) {
        rule.answer = AnswerRule::Answer::Nothing;
        return tokens.size() == 2 || fail("`answer nothing` takes nothing after it");
    }
    if (isWord(tokens[1], "recorded")) {
        rule.answer = AnswerRule::Answer::Recorded;
        if (tokens.size() == 2) return true;
        std::size_t at = 2;
        if (!isCheck(tokens[at]))
            return fail("`answer recorded` takes only a check value after it");
        if (!check(tokens, at, rule.recordedCheck.emplace())) return false;
        return at + 1 == tokens.size() ||
               fail("`answer recorded` takes only a check value after it");
    }
    for (std::size_t at = 1; at < tokens.size(); ++at) {
        if (rule.made.size() == kMostElements)
            return fail("an `answer` of more than " + std::to_string(kMostElements) + " elements");
        const Token& token = tokens[at];
        AnswerElement element;
        if (token.quoted) {
            element.bytes = token.bytes;
        } else if (token.text.front() == '{') {
            element.kind = AnswerElement::Kind::Capture;
            if (!captureValue(token.text, element.value)) return false;
        } else if (isCheck(token)) {
            element.kind = AnswerElement::Kind::Check;
            if (!check(tokens, at, element.check)) return false;
        } else if (token.text == ".." || token.text.starts_with("??")) {
            return fail(quote(token.text) + " belongs in a `when`, not in an answer");
        } else if (!hexBytes(token.text, element.bytes)) {
            return false;
        }
        rule.made.push_back(std::move(element));
    }
    return true;
}

bool RulesParser::put(const std::vector<Token>& tokens) {
    AnswerRule& rule = *open_;
    if (!hasAnswer_ || rule.answer != AnswerRule::Answer::Recorded)
        return fail("`put` without `answer recorded`");
    if (tokens.size() != 4 || tokens[1].quoted || !isWord(tokens[2], "at"))
        return fail("`put` is written: put NAME at OFFSET");
    RulePut placed;
    const std::string& what = tokens[1].text;
    if (!captureValue(what.front() == '{' ? what : "{" + what + "}", placed.value)) return false;
    const auto offset = numberOf(tokens[3].text);
    if (tokens[3].quoted || !offset || *offset > kMostPutOffset)
        return fail("`put` needs an offset from 0 to " + std::to_string(kMostPutOffset));
    placed.offset = static_cast<std::size_t>(*offset);
    rule.puts.push_back(std::move(placed));
    return true;
}

bool RulesParser::delay(const std::vector<Token>& tokens) {
    if (hasDelay_) return fail("a rule has one `delay` line");
    hasDelay_ = true;
    AnswerRule& rule = *open_;
    const char* const usage = "a delay is `recorded`, 0 or a time such as 20ms, 1.5ms or 300us";
    if (tokens.size() != 2 || tokens[1].quoted) return fail(usage);
    std::string_view text = tokens[1].text;
    if (text == "recorded") {
        rule.delay = AnswerRule::Delay::Recorded;
        return true;
    }
    rule.delay = AnswerRule::Delay::Fixed;
    if (text == "0") return true;
    std::uint64_t scale = 0;
    for (const auto& [unit, micros] :
         {std::pair<std::string_view, std::uint64_t>{"ms", 1'000}, {"us", 1}, {"s", 1'000'000}}) {
        if (text.size() > unit.size() && text.ends_with(unit)) {
            scale = micros;
            text.remove_suffix(unit.size());
            break;
        }
    }
    const std::size_t point = std::min(text.find('.'), text.size());
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = text.substr(std::min(point + 1, text.size()));
    const auto digits = [](std::string_view part) {
        return part.size() <= 9 && std::all_of(part.begin(), part.end(), isDigit);
    };
    if (scale == 0 || whole.empty() || !digits(whole) || !digits(fraction) ||
        (point < text.size() && fraction.empty()))
        return fail(usage);
    std::uint64_t micros = *numberOf(whole) * scale;
    std::uint64_t place = 1;
    for (const char c : fraction) {
        place *= 10;
        micros += static_cast<std::uint64_t>(c - '0') * scale / place;
    }
    if (micros > kMostDelayMicros) return fail("a delay of more than an hour");
    rule.delayMicros = micros;
    return true;
}

bool RulesParser::patternElement(const std::vector<Token>& tokens, std::size_t& at,
                                 RulePattern& pattern) {
    const Token& token = tokens[at];
    PatternElement element;
    const auto lastIsRun = [&pattern] {
        if (pattern.elements.empty()) return false;
        const PatternElement& last = pattern.elements.back();
        return last.kind == PatternElement::Kind::Run ||
               (last.kind == PatternElement::Kind::Capture && last.form == CaptureForm::Run);
    };
    if (token.quoted) {
        if (token.bytes.empty()) return fail("empty text");
        element.bytes = token.bytes;
    } else if (token.text == "..") {
        if (lastIsRun()) return fail("`..` cannot follow `..`");
        element.kind = PatternElement::Kind::Run;
    } else if (token.text.starts_with("??")) {
        element.kind = PatternElement::Kind::Any;
        element.count = 1;
        const std::string_view rest = std::string_view(token.text).substr(2);
        if (!rest.empty()) {
            const auto count = rest.size() > 2 && rest.front() == '{' && rest.back() == '}'
                                   ? countOf(trimmed(rest.substr(1, rest.size() - 2)))
                                   : std::nullopt;
            if (!count || count->littleEndian || count->value == 0 ||
                count->value > kLongestRuleRequest)
                return fail("`??{n}` needs a count from 1 to " +
                            std::to_string(kLongestRuleRequest));
            element.count = static_cast<std::size_t>(count->value);
        }
    } else if (token.text.front() == '{') {
        if (!captureDefinition(token.text, pattern)) return false;
        if (pattern.elements.back().form == CaptureForm::Run && pattern.elements.size() > 1) {
            PatternElement run = std::move(pattern.elements.back());
            pattern.elements.pop_back();
            if (lastIsRun()) return fail("a run cannot follow a run");
            pattern.elements.push_back(std::move(run));
        }
        return true;
    } else if (isCheck(token)) {
        element.kind = PatternElement::Kind::Check;
        if (!check(tokens, at, element.check)) return false;
    } else if (!hexBytes(token.text, element.bytes)) {
        return false;
    }
    pattern.elements.push_back(std::move(element));
    return true;
}

bool RulesParser::captureDefinition(std::string_view token, RulePattern& pattern) {
    if (token.back() != '}') return unknownElement(token);
    const std::string_view inside = token.substr(1, token.size() - 2);
    const std::size_t colon = inside.find(':');
    if (colon == std::string_view::npos)
        return fail(
            "a capture in a `when` needs its form: {name:2}, {name:..}, {name:dec} or "
            "{name:hex}");
    const std::string_view name = trimmed(inside.substr(0, colon));
    const std::string_view form = trimmed(inside.substr(colon + 1));
    if (!isName(name)) return fail(quote(name) + " is no capture name (letters, digits and _)");
    if (std::find(pattern.captureNames.begin(), pattern.captureNames.end(), name) !=
        pattern.captureNames.end())
        return fail("capture " + quote(name) + " is taken twice");
    PatternElement element;
    element.kind = PatternElement::Kind::Capture;
    element.capture = pattern.captureNames.size();
    if (form == "..") {
        element.form = CaptureForm::Run;
    } else if (form == "dec") {
        element.form = CaptureForm::Decimal;
    } else if (form == "hex") {
        element.form = CaptureForm::Hex;
    } else if (const auto count = countOf(form)) {
        if (count->value == 0 || count->value > kLongestRuleRequest)
            return fail("a capture of 1 to " + std::to_string(kLongestRuleRequest) + " bytes");
        element.count = static_cast<std::size_t>(count->value);
        element.littleEndian = count->littleEndian;
    } else {
        return fail("unknown capture form " + quote(form) + ": a count (2, 2le), .., dec or hex");
    }
    pattern.captureNames.emplace_back(name);
    pattern.elements.push_back(std::move(element));
    return true;
}

bool RulesParser::isCheck(const Token& token) const {
    return !token.quoted && (findNamedCheck(token.text) || token.text.starts_with("crc("));
}

bool RulesParser::check(const std::vector<Token>& tokens, std::size_t& at, RuleCheck& check) {
    const std::string& text = tokens[at].text;
    if (const CheckMethod* named = findNamedCheck(text)) {
        check.method = *named;
    } else if (!generalCrc(text, check.method)) {
        return false;
    }
    check.name.clear();
    std::copy_if(text.begin(), text.end(), std::back_inserter(check.name),
                 [](char c) { return !isSpace(c); });
    if (at + 1 < tokens.size() && isWord(tokens[at + 1], "from")) {
        const auto from = at + 2 < tokens.size() && !tokens[at + 2].quoted
                              ? numberOf(tokens[at + 2].text)
                              : std::nullopt;
        if (!from || *from > kLongestRuleRequest)
            return fail("`from` needs an offset from 0 to " + std::to_string(kLongestRuleRequest));
        check.from = static_cast<std::size_t>(*from);
        at += 2;
    }
    return true;
}

bool RulesParser::generalCrc(std::string_view token, CheckMethod& method) {
    const char* const usage =
        "crc(...) takes width, poly, init, xorout, refin, refout and byte order, as in "
        "crc(16,0x1021,0x0000,0x0000,true,true,le)";
    if (!token.ends_with(")")) return fail(usage);
    std::string_view inside = token.substr(4, token.size() - 5);
    std::vector<std::string_view> fields;
    for (std::size_t comma; (comma = inside.find(',')) != std::string_view::npos;) {
        fields.push_back(trimmed(inside.substr(0, comma)));
        inside.remove_prefix(comma + 1);
    }
    fields.push_back(trimmed(inside));
    if (fields.size() != 7) return fail(usage);
    method.kind = CheckMethod::Kind::Crc;
    CrcParameters& crc = method.crc;
    const auto width = numberOf(fields[0]);
    if (!width || *width < 1 || *width > 64) return fail("a CRC's width is 1 to 64 bits");
    crc.width = static_cast<unsigned>(*width);
    const std::uint64_t mask =
        crc.width == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << crc.width) - 1;
    for (auto [field, value] :
         {std::pair{fields[1], &crc.poly}, {fields[2], &crc.init}, {fields[3], &crc.xorout}}) {
        const auto number = numberOf(field);
        if (!number) return fail(quote(field) + " is no number");
        if ((*number & ~mask) != 0)
            return fail(quote(field) + " does not fit in " + std::to_string(crc.width) + " bits");
        *value = *number;
    }
    for (auto [field, value] : {std::pair{fields[4], &crc.refin}, {fields[5], &crc.refout}}) {
        if (field != "true" && field != "false")
            return fail("refin and refout are true or false, not " + quote(field));
        *value = field == "true";
    }
    if (fields[6] != "le" && fields[6] != "be")
        return fail("a CRC's byte order is le or be, not " + quote(fields[6]));
    method.order = fields[6] == "le" ? CheckOrder::LowFirst : CheckOrder::HighFirst;
    return true;
}

bool RulesParser::captureValue(std::string_view token, CaptureValue& value) {
    if (token.size() < 2 || token.back() != '}') return unknownElement(token);
    const RulePattern& pattern = open_->pattern;
    const std::string_view inside = token.substr(1, token.size() - 2);
    std::size_t at = 0;
    const auto skipSpaces = [&] {
        while (at < inside.size() && isSpace(inside[at])) ++at;
    };
    skipSpaces();
    const std::size_t nameStart = at;
    while (at < inside.size() && isNameChar(inside[at])) ++at;
    const std::string_view name = inside.substr(nameStart, at - nameStart);
    if (!isName(name)) return fail(quote(token) + " needs a capture's name");
    const auto found = std::find(pattern.captureNames.begin(), pattern.captureNames.end(), name);
    if (found == pattern.captureNames.end())
        return fail("capture " + quote(name) + " is not in this rule's request");
    value.capture = static_cast<std::size_t>(found - pattern.captureNames.begin());
    for (skipSpaces(); at < inside.size(); skipSpaces()) {
        const char c = inside[at];
        if (c == ':') {
            const std::string_view form = trimmed(inside.substr(at + 1));
            NumberForm& written = value.form.emplace();
            if (form == "dec") {
                written.kind = NumberForm::Kind::Decimal;
            } else if (form == "hex") {
                written.kind = NumberForm::Kind::Hex;
            } else if (const auto count = countOf(form);
                       count && count->value >= 1 && count->value <= 8) {
                written.count = static_cast<std::size_t>(count->value);
                written.littleEndian = count->littleEndian;
            } else {
                return fail("unknown form " + quote(form) +
                            ": dec, hex or a count of 1 to 8 bytes (2, 2le)");
            }
            break;
        }
        if (c != '+' && c != '-' && c != '*' && c != '&')
            return fail("unexpected " + quote(std::string_view(&c, 1)) + " in " + quote(token));
        ++at;
        skipSpaces();
        const std::size_t numberStart = at;
        while (at < inside.size() &&
               (hexDigitValue(inside[at]) >= 0 || inside[at] == 'x' || inside[at] == 'X'))
            ++at;
        const auto number = numberOf(inside.substr(numberStart, at - numberStart));
        if (!number) return fail(quote(std::string_view(&c, 1)) + " needs a number after it");
        value.steps.emplace_back(c, *number);
    }
    if (value.steps.empty() && !value.form) return true;
    const auto element = std::find_if(
        pattern.elements.begin(), pattern.elements.end(), [&value](const PatternElement& e) {
            return e.kind == PatternElement::Kind::Capture && e.capture == value.capture;
        });
    if (element->form == CaptureForm::Run)
        return fail("capture " + quote(name) + " is a run of bytes, not a number");
    if (element->form == CaptureForm::Fixed && element->count > 8)
        return fail("capture " + quote(name) + " has " + std::to_string(element->count) +
                    " bytes: too many for a number");
    return true;
}

bool RulesParser::hexBytes(std::string_view token, std::vector<std::uint8_t>& bytes) {
    if (!std::all_of(token.begin(), token.end(), [](char c) { return hexDigitValue(c) >= 0; }))
        return unknownElement(token);
    if (token.size() % 2 != 0) return fail("odd number of hex digits in " + quote(token));
    for (std::size_t at = 0; at < token.size(); at += 2)
        bytes.push_back(static_cast<std::uint8_t>(hexDigitValue(token[at]) << 4 |
                                                  hexDigitValue(token[at + 1])));
    return true;
}

bool RulesParser::unknownElement(std::string_view token) {
    const bool wordLike =
        isLetter(token.front()) &&
        std::all_of(token.begin(), token.end(), [](char c) { return isNameChar(c) || c == '-'; });
    const bool checkLike = wordLike && std::any_of(token.begin(), token.end(),
                                                   [](char c) { return isDigit(c) || c == '-'; });
    if (checkLike) return fail("unknown check value " + quote(token));
    return fail("unknown element " + quote(token) +
                (wordLike ? " (text goes in double quotes)" : ""));
}

}  // namespace

std::optional<std::pair<std::size_t, std::size_t>> RuleCheck::covered(
    std::span<const std::uint8_t> before) const {
    std::size_t end = before.size();
    std::size_t start = from.value_or(method.kind == CheckMethod::Kind::LrcAscii ? 1 : 0);
    if (method.kind == CheckMethod::Kind::Nmea) {
        if (end > 0 && before[end - 1] == '*') --end;
        if (!from) {
            const auto sign = std::find_if(before.begin(), before.begin() + end,
                                           [](std::uint8_t c) { return c == '$' || c == '!'; });
            start = sign == before.begin() + end
                        ? 0
                        : static_cast<std::size_t>(sign - before.begin()) + 1;
        }
    }
    if (start > end) return std::nullopt;
    return std::pair{start, end};
}

bool RulePattern::endsInFixedLength() const {
    if (elements.empty()) return false;
    const PatternElement& last = elements.back();
    return last.kind != PatternElement::Kind::Run &&
           !(last.kind == PatternElement::Kind::Capture && last.form != CaptureForm::Fixed);
}

ParsedRules parseAnswerRules(std::string_view text) { return RulesParser().parse(text); }
