#pragma once

// Answer rules: how the device stand-in answers requests that no recorded request matched byte
// for byte. The rules text:
//
//   Lines; '#' starts a comment (outside quotes); blank lines are passed over; tokens are
//   separated by spaces (a quoted text, a {...} or a (...) is one token, spaces and all). A rule
//   is a `when` line, then one `answer` line, then optional `put` lines and an optional `delay`
//   line. Rules are tried in file order; the first whose `when` matches answers.
//
//   when ELEMENTS...          the request, matched over all its bytes from first to last
//   answer ELEMENTS...        the bytes to answer with
//   answer recorded [CHECK]   the answer the device gave to a recorded request this `when`
//                             matches (the next one not yet used, then the last again), every
//                             burst of it with its recorded delay; CHECK is recomputed over the
//                             answer and replaces its last bytes
//   answer nothing            the device stays silent for this request
//   put NAME at OFFSET        with `answer recorded`: the bytes of capture NAME written into the
//                             recorded answer at byte OFFSET (from 0, over all its bursts),
//                             before its check value is recomputed; NAME may also be a value in
//                             braces, as in an answer: put {seq + 1} at 3
//   delay recorded | delay 20ms | delay 1.5ms | delay 300us | delay 0
//                             recorded (the default): an answer made by the rule comes after the
//                             delay of the matched recorded request's answer, else after the
//                             median delay of the recording's answers, else at once; a fixed
//                             delay moves a recorded answer's first burst, the others keep their
//                             distance to it
//
//   Request elements:
//     01 03 A0  0103A0        bytes in hex, one or more pairs to a token
//     "S\r\n"                 text, with the escapes \r \n \t \0 \\ \" \xHH
//     ??   ??{4}              any one byte; any 4 bytes
//     ..                      a run of any bytes, none or more, up to what the next element
//                             accepts (the shortest that lets the rest match), or to the end
//     {name:2}  {name:2le}    a capture of 2 bytes, a number high byte first (le: low first)
//     {name:..}               a capture of a run, as ..
//     {name:dec}  {name:hex}  a capture of one or more ASCII decimal (hex) digits
//     crc16-modbus            a check value: crc16-modbus (2 bytes, low first), crc16-ccitt-false
//                             (2, high first), crc32 (4, low first), lrc, xor8, sum8 (1 byte),
//                             lrc-ascii (Modbus ASCII: two hex characters, the LRC of the bytes
//                             the hex text before it spells), nmea (two hex characters, the XOR
//                             of the characters between '$' or '!' and '*'; the '*' is written
//                             as text before it), or any CRC:
//     crc(16,0x1021,0x0000,0x0000,true,true,le)
//                             width (1 to 64), poly, init, xorout, refin, refout, byte order
//                             (le or be)
//     CHECK from 3            the check covers the bytes from offset 3 up to itself (default 0;
//                             lrc-ascii 1, past the ':'; nmea just after the first '$' or '!').
//                             A check need not be last: Modbus ASCII ends in "\r\n" after it.
//   Answer elements: hex bytes, text and check values as above (a check covers the answer made
//   so far), and captures of the request:
//     {name}                  the captured bytes as they came
//     {seq + 1}               the capture's number with + - * & and decimal or 0x constants,
//                             left to right in 64 bits, written in the capture's own form: as
//                             many bytes in the same order (wrapping), or decimal or uppercase
//                             hex text without padding
//     {seq + 1 :dec}  {seq:hex}  {seq:2}  {seq:2le}
//                             the same written in the form given
//
// A request that matches a rule's `when` save for a wrong check value is refused when no later
// rule matches it. Before a silence follows the request, a rule answers only bytes that are
// whole by their shape: its `when` ends in bytes, ??, a fixed-length capture or a check value,
// and no earlier rule could still match more bytes. Requests of more than 4096 bytes are no
// rule's.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "conversation/CheckValue.h"

inline constexpr std::size_t kLongestRuleRequest = 4096;

// A check value in a rule, and the bytes before it that it covers.
struct RuleCheck {
    std::string name;  // as the rule writes it, for the log
    CheckMethod method;
    std::optional<std::size_t> from;  // none: the method's own start

    // Of the bytes before the check (`before` ends where the check starts), the span it covers:
    // [first, second); none when `from` lies beyond them.
    std::optional<std::pair<std::size_t, std::size_t>> covered(
        std::span<const std::uint8_t> before) const;
};

enum class CaptureForm : std::uint8_t { Fixed, Run, Decimal, Hex };

struct PatternElement {
    enum class Kind : std::uint8_t { Bytes, Any, Run, Capture, Check };
    Kind kind = Kind::Bytes;
    std::vector<std::uint8_t> bytes;  // Bytes
    std::size_t count = 0;            // Any, and a Fixed capture: how many bytes
    std::size_t capture = 0;          // Capture: its place in RulePattern::captureNames
    CaptureForm form = CaptureForm::Fixed;
    bool littleEndian = false;  // a Fixed capture's number
    RuleCheck check;            // Check
};

struct RulePattern {
    std::vector<PatternElement> elements;
    std::vector<std::string> captureNames;

    // Whether the pattern's last element takes a fixed count of bytes: a request it matches is
    // whole without waiting for a silence.
    bool endsInFixedLength() const;
};

// How a captured number is written into an answer.
struct NumberForm {
    enum class Kind : std::uint8_t { Decimal, Hex, Bytes };
    Kind kind = Kind::Bytes;
    std::size_t count = 0;  // Bytes: 1 to 8
    bool littleEndian = false;
};

// A capture written into an answer: as it came, or its number worked on and written in a form.
struct CaptureValue {
    std::size_t capture = 0;
    std::vector<std::pair<char, std::uint64_t>> steps;  // '+', '-', '*', '&' with a constant
    std::optional<NumberForm> form;                     // none: the capture's own
};

struct AnswerElement {
    enum class Kind : std::uint8_t { Bytes, Capture, Check };
    Kind kind = Kind::Bytes;
    std::vector<std::uint8_t> bytes;  // Bytes
    CaptureValue value;               // Capture
    RuleCheck check;                  // Check
};

struct RulePut {
    CaptureValue value;
    std::size_t offset = 0;
};

struct AnswerRule {
    enum class Answer : std::uint8_t { Made, Recorded, Nothing };
    enum class Delay : std::uint8_t { Unwritten, Recorded, Fixed };

    std::size_t line = 0;  // of its `when`
    RulePattern pattern;
    Answer answer = Answer::Made;
    std::vector<AnswerElement> made;         // Made
    std::optional<RuleCheck> recordedCheck;  // Recorded
    std::vector<RulePut> puts;               // Recorded
    Delay delay = Delay::Unwritten;
    std::uint64_t delayMicros = 0;  // Fixed
};

// The first mistake in a rules text: its line (from 1) and what is wrong, for "FILE:LINE: TEXT".
struct RulesMistake {
    std::size_t line = 0;
    std::string text;
};

struct ParsedRules {
    std::vector<AnswerRule> rules;
    std::optional<RulesMistake> mistake;  // when set, rules is empty
};

// Never throws: any text gives rules or a mistake.
ParsedRules parseAnswerRules(std::string_view text);
