#include "conversation/RuleAnswer.h"

#include <algorithm>
#include <string>

#include "conversation/HexDigits.h"

namespace {

const PatternElement& captureElement(const RulePattern& pattern, std::size_t capture) {
    return *std::find_if(
        pattern.elements.begin(), pattern.elements.end(), [capture](const PatternElement& element) {
            return element.kind == PatternElement::Kind::Capture && element.capture == capture;
        });
}

// The capture's number in its own form; arithmetic wraps in 64 bits, as the written form does.
std::uint64_t numberOf(const PatternElement& element, std::span<const std::uint8_t> bytes) {
    std::uint64_t number = 0;
    switch (element.form) {
        case CaptureForm::Fixed:
            for (std::size_t i = 0; i < bytes.size(); ++i)
                number = number << 8 | bytes[element.littleEndian ? bytes.size() - 1 - i : i];
            break;
        case CaptureForm::Decimal:
        case CaptureForm::Hex: {
            const std::uint64_t base = element.form == CaptureForm::Decimal ? 10 : 16;
            for (const std::uint8_t c : bytes)
                number = number * base + static_cast<std::uint64_t>(hexDigitValue(c));
            break;
        }
        case CaptureForm::Run:
            break;
    }
    return number;
}

std::uint64_t worked(std::uint64_t number,
                     const std::vector<std::pair<char, std::uint64_t>>& steps) {
    for (const auto& [operation, constant] : steps) {
        switch (operation) {
            case '+':
                number += constant;
                break;
            case '-':
                number -= constant;
                break;
            case '*':
                number *= constant;
                break;
            default:
                number &= constant;
                break;
        }
    }
    return number;
}

void appendNumber(std::uint64_t number, const NumberForm& form, std::vector<std::uint8_t>& out) {
    switch (form.kind) {
        case NumberForm::Kind::Decimal: {
            const std::string text = std::to_string(number);
            out.insert(out.end(), text.begin(), text.end());
            break;
        }
        case NumberForm::Kind::Hex: {
            std::string text;
            do {
                text.insert(text.begin(), kUpperHexDigits[number & 0xF]);
                number >>= 4;
            } while (number != 0);
            out.insert(out.end(), text.begin(), text.end());
            break;
        }
        case NumberForm::Kind::Bytes:
            for (std::size_t i = 0; i < form.count; ++i) {
                const std::size_t shift = 8 * (form.littleEndian ? i : form.count - 1 - i);
                out.push_back(static_cast<std::uint8_t>(number >> shift));
            }
            break;
    }
}

NumberForm ownForm(const PatternElement& element) {
    NumberForm form;
    if (element.form == CaptureForm::Decimal) form.kind = NumberForm::Kind::Decimal;
    if (element.form == CaptureForm::Hex) form.kind = NumberForm::Kind::Hex;
    form.count = element.count;
    form.littleEndian = element.littleEndian;
    return form;
}

// The check's bytes over what comes before it. A value that cannot be computed (lrc-ascii over
// what is no hex text) is written as zeros, so the answer keeps its length.
CheckBytes checkOver(const RuleCheck& check, std::span<const std::uint8_t> before) {
    const auto covered = check.covered(before);
    const auto span = covered ? before.subspan(covered->first, covered->second - covered->first)
                              : std::span<const std::uint8_t>{};
    if (const auto value = checkBytesOf(check.method, span)) return *value;
    CheckBytes zeros;
    zeros.length = check.method.lineLength();
    std::fill_n(zeros.bytes.begin(), zeros.length, std::uint8_t{'0'});
    return zeros;
}

}  // namespace

std::vector<std::uint8_t> captureValueBytes(const CaptureValue& value, const RulePattern& pattern,
                                            std::span<const std::uint8_t> request,
                                            const std::vector<CapturedBytes>& captures) {
    const CapturedBytes& captured = captures[value.capture];
    const auto bytes = request.subspan(captured.start, captured.length);
    if (value.steps.empty() && !value.form) return {bytes.begin(), bytes.end()};
    const PatternElement& element = captureElement(pattern, value.capture);
    std::vector<std::uint8_t> out;
    appendNumber(worked(numberOf(element, bytes), value.steps),
                 value.form.value_or(ownForm(element)), out);
    return out;
}

std::vector<std::uint8_t> madeAnswer(const AnswerRule& rule, std::span<const std::uint8_t> request,
                                     const PatternMatch& match) {
    std::vector<std::uint8_t> out;
    for (const AnswerElement& element : rule.made) {
        switch (element.kind) {
            case AnswerElement::Kind::Bytes:
                out.insert(out.end(), element.bytes.begin(), element.bytes.end());
                break;
            case AnswerElement::Kind::Capture: {
                const auto bytes =
                    captureValueBytes(element.value, rule.pattern, request, match.captures);
                out.insert(out.end(), bytes.begin(), bytes.end());
                break;
            }
            case AnswerElement::Kind::Check: {
                const CheckBytes check = checkOver(element.check, out);
                out.insert(out.end(), check.view().begin(), check.view().end());
                break;
            }
        }
    }
    return out;
}

void rewriteRecorded(const AnswerRule& rule, std::span<const std::uint8_t> request,
                     const PatternMatch& match, std::vector<MadeBurst>& bursts) {
    if (rule.puts.empty() && !rule.recordedCheck) return;
    std::vector<std::uint8_t> whole;
    for (const MadeBurst& burst : bursts)
        whole.insert(whole.end(), burst.bytes.begin(), burst.bytes.end());
    for (const RulePut& put : rule.puts) {
        const auto bytes = captureValueBytes(put.value, rule.pattern, request, match.captures);
        for (std::size_t i = 0; i < bytes.size() && put.offset + i < whole.size(); ++i)
            whole[put.offset + i] = bytes[i];
    }
    if (rule.recordedCheck && whole.size() >= rule.recordedCheck->method.lineLength()) {
        const std::size_t at = whole.size() - rule.recordedCheck->method.lineLength();
        const CheckBytes check = checkOver(*rule.recordedCheck, std::span(whole).first(at));
        std::copy(check.view().begin(), check.view().end(),
                  whole.begin() + static_cast<std::ptrdiff_t>(at));
    }
    std::size_t at = 0;
    for (MadeBurst& burst : bursts) {
        std::copy_n(whole.begin() + static_cast<std::ptrdiff_t>(at), burst.bytes.size(),
                    burst.bytes.begin());
        at += burst.bytes.size();
    }
}
