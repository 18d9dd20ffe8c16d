#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversation/AnswerRules.h"
#include "conversation/CheckValue.h"
#include "conversation/RuleMatch.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }
const Bytes kDigits = bytesOf("123456789");

std::uint64_t crcOfDigits(unsigned width, std::uint64_t poly, std::uint64_t init,
                          std::uint64_t xorout, bool reflected) {
    return crcOf({width, poly, init, xorout, reflected, reflected}, kDigits);
}

std::string lineForm(std::string_view name, const std::string& text) {
    const auto value = checkBytesOf(*findNamedCheck(name), bytesOf(text));
    return value ? std::string(value->view().begin(), value->view().end()) : "(none)";
}

// The pattern of one `when` line.
RulePattern patternOf(const std::string& when) {
    const ParsedRules parsed = parseAnswerRules("when " + when + "\nanswer 00\n");
    EXPECT_FALSE(parsed.mistake) << when << ": " << parsed.mistake->text;
    return parsed.mistake ? RulePattern{} : parsed.rules.front().pattern;
}

PatternMatch matched(const std::string& when, const std::string& request) {
    return matchPattern(patternOf(when), bytesOf(request));
}

std::string captured(const PatternMatch& match, const std::string& request, std::size_t capture) {
    const CapturedBytes& bytes = match.captures.at(capture);
    return request.substr(bytes.start, bytes.length);
}

}  // namespace

TEST(CheckValueTest, CatalogueVectorsAndLineForms) {
    // The check values of "123456789" from the CRC catalogue.
    EXPECT_EQ(crc16Modbus(kDigits), 0x4B37);
    EXPECT_EQ(crc16CcittFalse(kDigits), 0x29B1);
    EXPECT_EQ(crc32(kDigits), 0xCBF43926u);
    EXPECT_EQ(crcOfDigits(16, 0x1021, 0, 0, true), 0x2189u);   // CRC-16/KERMIT
    EXPECT_EQ(crcOfDigits(8, 0x07, 0, 0, false), 0xF4u);       // CRC-8
    EXPECT_EQ(crcOfDigits(5, 0x05, 0x1F, 0x1F, true), 0x19u);  // CRC-5/USB: below a byte
    EXPECT_EQ(crcOfDigits(64, 0x42F0E1EBA9EA3693, ~0ull, ~0ull, true),
              0x995DC9BBDF1939FAull);  // CRC-64/XZ: the full register
    // '1'..'9' XOR to 0x31; their sum is 477, 0x1DD.
    EXPECT_EQ(xor8(kDigits), 0x31);
    EXPECT_EQ(sum8(kDigits), 0xDD);
    EXPECT_EQ(lrc8(kDigits), 0x23);

    // On the line: byte order per algorithm, hex text uppercase.
    EXPECT_EQ(lineForm("crc16-modbus", "123456789"), "\x37\x4B");
    EXPECT_EQ(lineForm("crc16-ccitt-false", "123456789"), "\x29\xB1");
    EXPECT_EQ(lineForm("crc32", "123456789"), "\x26\x39\xF4\xCB");
    // Modbus ASCII ":010300000001FB": 01+03+00+00+00+01 = 5, and -5 is FB.
    EXPECT_EQ(lineForm("lrc-ascii", "010300000001"), "FB");
    EXPECT_EQ(lineForm("lrc-ascii", "0103000000011"), "(none)");  // half a byte
    EXPECT_EQ(lineForm("lrc-ascii", "01G3"), "(none)");
    // The GGA sentence of the NMEA 0183 primers, "$GPGGA,...,M,,*47": its characters between
    // '$' and '*' XOR to 0x47 (recomputed independently of this code).
    EXPECT_EQ(lineForm("nmea", "GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "47");
    EXPECT_EQ(findNamedCheck("crc17"), nullptr);
    EXPECT_EQ(findNamedCheck("crc32")->lineLength(), 4u);
}

TEST(AnswerRulesParseTest, MistakesNameTheirLineAndWhatIsWrong) {
    struct Case {
        const char* text;
        std::size_t line;
        const char* says;
    };
    const Case cases[] = {
        {"when 01\nanswer 02 crc17\n", 2, "unknown check value 'crc17'"},
        {"when {x:2}\nanswer {seq}\n", 2, "capture 'seq' is not in this rule's request"},
        {"when 01\nanswer 02\nput x at 1\n", 3, "`put` without `answer recorded`"},
        {"when 01\nanswer recorded\nput x at 1\n", 3, "capture 'x' is not in this rule's request"},
        {"when \"abc\n", 1, "unterminated text"},
        {"when {x:2\n", 1, "unterminated '{'"},
        {"# a comment\nwhen 01\n\nwhen 02\nanswer 03\n", 2, "a rule needs an `answer` line"},
        {"when 01\nanswer 02\nwhen 03 # no answer\n", 3, "a rule needs an `answer` line"},
        {"when 01 .. ..\nanswer 02\n", 1, "`..` cannot follow `..`"},
        {"when {n:dec} .. {r:..}\nanswer 02\n", 1, "a run cannot follow a run"},
        {"answer 01\n", 1, "`answer` before any `when`"},
        {"when 0A1\nanswer 01\n", 1, "odd number of hex digits in '0A1'"},
        {"when hello\nanswer 01\n", 1, "text goes in double quotes"},
        {"when 01 \"\\q\"\nanswer 01\n", 1, "unknown escape '\\q'"},
        {"when ??{0}\nanswer 01\n", 1, "`??{n}` needs a count"},
        {"when {x}\nanswer 01\n", 1, "needs its form"},
        {"when {x:1} {x:2}\nanswer 01\n", 1, "capture 'x' is taken twice"},
        {"when {x:..}\nanswer {x + 1}\n", 2, "capture 'x' is a run of bytes"},
        {"when {x:9}\nanswer {x:dec}\n", 2, "has 9 bytes: too many for a number"},
        {"when {x:dec}\nanswer {x:9}\n", 2, "unknown form '9'"},
        {"when {x:dec}\nanswer {x ^ 1}\n", 2, "unexpected '^'"},
        {"when crc(16,0x11021,0,0,true,true,le)\nanswer 01\n", 1, "does not fit in 16 bits"},
        {"when crc(16,0x1021,0,0,yes,true,le)\nanswer 01\n", 1, "true or false"},
        {"when crc(16,0x1021)\nanswer 01\n", 1, "crc(...) takes width"},
        {"when 01\nanswer 02\nanswer 03\n", 3, "a rule has one `answer` line"},
        {"when 01\nanswer 02\ndelay 20\n", 3, "a delay is"},
        {"when 01\nanswer nothing 02\n", 2, "`answer nothing` takes nothing"},
        {"when 01\nanswer recorded 02\n", 2, "takes only a check value"},
        {"when 01\nanswer 02 ..\n", 2, "belongs in a `when`"},
        {"when 01 crc32 from\nanswer 02\n", 1, "`from` needs an offset"},
        {"when 01\nreply 02\n", 2, "a line starts with when, answer, put or delay"},
    };
    for (const Case& c : cases) {
        const ParsedRules parsed = parseAnswerRules(c.text);
        ASSERT_TRUE(parsed.mistake) << c.text;
        EXPECT_EQ(parsed.mistake->line, c.line) << c.text;
        EXPECT_NE(parsed.mistake->text.find(c.says), std::string::npos)
            << c.text << " said: " << parsed.mistake->text;
        EXPECT_TRUE(parsed.rules.empty());
    }
}

TEST(AnswerRulesParseTest, ReadsRulesWithTheirParts) {
    const ParsedRules parsed = parseAnswerRules(
        "# two rules\n"
        "when 0103 {a:2le} \"x\\x41\" crc(16,0x1021,0,0,true,true,le) from 1  # comment\n"
        "answer recorded crc16-modbus\n"
        "put a at 3\n"
        "put {a + 0x10 :1} at 5\n"
        "delay 1.5ms\n"
        "\n"
        "when ..\n"
        "answer nothing\n");
    ASSERT_FALSE(parsed.mistake) << parsed.mistake->text;
    ASSERT_EQ(parsed.rules.size(), 2u);
    const AnswerRule& first = parsed.rules[0];
    EXPECT_EQ(first.line, 2u);
    ASSERT_EQ(first.pattern.elements.size(), 4u);
    EXPECT_EQ(first.pattern.elements[0].bytes, (Bytes{0x01, 0x03}));
    EXPECT_TRUE(first.pattern.elements[1].littleEndian);
    EXPECT_EQ(first.pattern.elements[2].bytes, bytesOf("xA"));
    EXPECT_EQ(first.pattern.elements[3].check.name, "crc(16,0x1021,0,0,true,true,le)");
    EXPECT_EQ(first.pattern.elements[3].check.from, 1u);
    EXPECT_EQ(first.answer, AnswerRule::Answer::Recorded);
    ASSERT_EQ(first.puts.size(), 2u);
    EXPECT_EQ(first.puts[1].offset, 5u);
    EXPECT_EQ(first.delayMicros, 1500u);
    EXPECT_EQ(parsed.rules[1].line, 8u);
    EXPECT_EQ(parsed.rules[1].answer, AnswerRule::Answer::Nothing);
}

TEST(RuleMatchTest, WildcardsRunsAndCaptures) {
    EXPECT_EQ(matched("01 ?? 03 ??{2}", "\x01\xFF\x03\xAA\xBB").outcome,
              PatternMatch::Outcome::Match);
    const PatternMatch short_ = matched("01 ?? 03 ??{2}", "\x01\xFF\x03\xAA");
    EXPECT_EQ(short_.outcome, PatternMatch::Outcome::NoMatch);
    EXPECT_TRUE(short_.mayGrow);
    const PatternMatch wrong = matched("01 ?? 03 ??{2}", "\x02\xFF");
    EXPECT_FALSE(wrong.mayGrow);
    EXPECT_EQ(matched("01 ?? 03 ??{2}", "\x01\xFF\x03\xAA\xBB\xCC").outcome,
              PatternMatch::Outcome::NoMatch);

    // A run reaches as far as the rest needs: here past the first "\r\n".
    const std::string lines = "AB\r\nC\r\n";
    const PatternMatch run = matched("\"A\" {body:..} \"\\r\\n\"", lines);
    ASSERT_EQ(run.outcome, PatternMatch::Outcome::Match);
    EXPECT_EQ(captured(run, lines, 0), "B\r\nC");
    EXPECT_EQ(matched("\"A\" ..", "A").outcome, PatternMatch::Outcome::Match);

    const std::string command = "S12 1aF\r";
    const PatternMatch digits = matched("\"S\" {seq:dec} \" \" {v:hex} \"\\r\"", command);
    ASSERT_EQ(digits.outcome, PatternMatch::Outcome::Match);
    EXPECT_EQ(captured(digits, command, 0), "12");
    EXPECT_EQ(captured(digits, command, 1), "1aF");
    EXPECT_EQ(matched("\"S\" {seq:dec} \"\\r\"", "S\r").outcome, PatternMatch::Outcome::NoMatch);
}

TEST(RuleMatchTest, CheckValuesAndWhetherMoreBytesCouldMatch) {
    const std::string frame("\x01\x03\x00\x00\x00\x01\x84\x0A", 8);
    EXPECT_EQ(matched("01 03 .. crc16-modbus", frame).outcome, PatternMatch::Outcome::Match);
    std::string bad = frame;
    bad.back() = '\x0B';
    const PatternMatch wrong = matched("01 03 .. crc16-modbus", bad);
    EXPECT_EQ(wrong.outcome, PatternMatch::Outcome::WrongCheck);
    EXPECT_EQ(wrong.wrongCheck, "crc16-modbus");
    EXPECT_TRUE(wrong.mayGrow);  // the run could take the bad CRC and more
    EXPECT_FALSE(matched("01 03 ??{4} crc16-modbus", bad).mayGrow);

    // A check followed by more: Modbus ASCII, either case of hex digit taken.
    EXPECT_EQ(matched("\":\" .. lrc-ascii \"\\r\\n\"", ":010300000001FB\r\n").outcome,
              PatternMatch::Outcome::Match);
    EXPECT_EQ(matched("\":\" .. lrc-ascii \"\\r\\n\"", ":010300000001fb\r\n").outcome,
              PatternMatch::Outcome::Match);
    EXPECT_EQ(matched("\":\" .. lrc-ascii \"\\r\\n\"", ":010300000001FC\r\n").outcome,
              PatternMatch::Outcome::WrongCheck);
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    EXPECT_EQ(matched("\"$GP\" .. \"*\" nmea \"\\r\\n\"", gga).outcome,
              PatternMatch::Outcome::Match);
    // `from` moves the start: xor8 of 03 alone.
    EXPECT_EQ(matched("01 03 xor8 from 1", "\x01\x03\x03").outcome, PatternMatch::Outcome::Match);

    // Whole by shape, or may still grow.
    EXPECT_TRUE(patternOf("\"A\" .. \"\\r\\n\"").endsInFixedLength());
    EXPECT_FALSE(patternOf("\"A\" ..").endsInFixedLength());
    EXPECT_FALSE(patternOf("\"S\" {n:dec}").endsInFixedLength());
    EXPECT_TRUE(matched("\"S\" {seq:dec} \"\\r\"", "S12").mayGrow);
    EXPECT_FALSE(matched("\"S\" {seq:dec} \"\\r\"", "S1x").mayGrow);
}

TEST(RuleMatchTest, PatternsBuiltToExplodeEndWithoutAMatch) {
    // Runs between near-matching literals over the longest request; and one byte more than
    // a rule takes. Both settle as no match rather than taking forever or the stack.
    const std::string request(kLongestRuleRequest, 'a');
    EXPECT_EQ(matched(".. \"a\" .. \"a\" .. \"a\" .. \"a\" .. \"b\"", request).outcome,
              PatternMatch::Outcome::NoMatch);
    EXPECT_EQ(matched("{a:dec} .. {b:hex} .. \"a\" .. crc32", request).outcome,
              PatternMatch::Outcome::NoMatch);
    EXPECT_EQ(matched("..", request + "a").outcome, PatternMatch::Outcome::NoMatch);
    EXPECT_EQ(matched("..", request).outcome, PatternMatch::Outcome::Match);
}
