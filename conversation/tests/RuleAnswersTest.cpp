#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversation/CheckValue.h"
#include "conversation/RuleAnswers.h"
#include "conversation/tests/SaidBursts.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string withModbusCrc(std::string frame) {
    const std::uint16_t crc = crc16Modbus(bytesOf(frame));
    frame += static_cast<char>(crc & 0xFF);
    frame += static_cast<char>(crc >> 8);
    return frame;
}

// An offer as "kind origin | delay:bytes ..." for comparing in one line.
std::string told(const SourceOffer& offer) {
    static const char* const kKinds[] = {"none", "answer", "refused"};
    std::string text = kKinds[static_cast<int>(offer.kind)];
    if (!offer.origin.empty()) text += " " + offer.origin;
    for (const MadeBurst& burst : offer.bursts)
        text += " | " + std::to_string(burst.delayMicros) + ":" +
                std::string(burst.bytes.begin(), burst.bytes.end());
    return text;
}

class RuleAnswersTest : public ::testing::Test {
protected:
    // The rules, answering from a recording of these bursts when there are any.
    RuleAnswers::Started start(const std::string& rules, const std::vector<Said>& said = {}) {
        const ParsedRules parsed = parseAnswerRules(rules);
        EXPECT_FALSE(parsed.mistake) << parsed.mistake->line << ": " << parsed.mistake->text;
        std::optional<std::string> recording;
        if (!said.empty()) {
            recording = dir_.file("talk.pcapng");
            EXPECT_TRUE(writeSaid(*recording, said));
        }
        return answers_.start(parsed.rules, recording);
    }
    std::string offer(const std::string& request, bool silenceFollowed = true) {
        return told(answers_.offer(bytesOf(request), silenceFollowed));
    }

    TempDir dir_;
    RuleAnswers answers_;
};

}  // namespace

TEST_F(RuleAnswersTest, LineProtocolEchoesItsSequenceNumber) {
    ASSERT_TRUE(start("when \"S\" {seq:dec} \" MEAS?\\r\\n\"\n"
                      "answer \"S\" {seq} \" 23.5\\r\\n\"\n"
                      "delay 2ms\n"
                      "when \"S\" {seq:dec} \" NEXT\\r\\n\"\n"
                      "answer \"S\" {seq + 1} \" \" {seq:hex} \" OK\\r\\n\"\n")
                    .ok());
    EXPECT_EQ(offer("S12 MEAS?\r\n", false), "answer rule at line 1 | 2000:S12 23.5\r\n");
    // No recording and no delay written: at once.
    EXPECT_EQ(offer("S255 NEXT\r\n", false), "answer rule at line 4 | 0:S256 FF OK\r\n");
    EXPECT_EQ(offer("S12 ME", false), "none");
    EXPECT_EQ(offer("S12 ME", true), "none");
}

TEST_F(RuleAnswersTest, NumbersKeepOrTakeTheirForm) {
    ASSERT_TRUE(
        start("when 10 {n:2} {m:1}\n"
              "answer {n:2le} {n + 1} {n:hex} \" \" {n * 2 - 1 :dec} {m & 0x0F} {m + 0xF1}\n")
            .ok());
    EXPECT_EQ(
        offer("\x10\x01\xFF\x3C"),
        "answer rule at line 1 | 0:" + std::string("\xFF\x01\x02\x00", 4) + "1FF 1021\x0C\x2D");
}

TEST_F(RuleAnswersTest, EarlierRulesThatCouldStillMatchGoFirstAndWrongChecksAreRefused) {
    ASSERT_TRUE(start("when \"AB\" \"C\"\nanswer \"1\"\n"
                      "when \"A\" ??\nanswer \"2\"\n"
                      "when 07 ??{2} crc16-modbus\nanswer nothing\n"
                      "when \"L\" ..\nanswer \"3\"\n")
                    .ok());
    EXPECT_EQ(offer("AB", false), "none");
    EXPECT_EQ(offer("AB", true), "answer rule at line 3 | 0:2");
    EXPECT_EQ(offer(withModbusCrc("\x07\x01\x02"), false),
              "refused rule at line 5: answer nothing");
    EXPECT_EQ(offer(std::string("\x07\x01\x02\x00\x00", 5), false),
              "refused rule at line 5: wrong crc16-modbus");
    // A run at the end waits for the silence.
    EXPECT_EQ(offer("Lxyz", false), "none");
    EXPECT_EQ(offer("Lxyz", true), "answer rule at line 7 | 0:3");
}

TEST_F(RuleAnswersTest, CounterAndCrcAnsweredFromARecordingWithOtherCounters) {
    const std::vector<Said> said = {
        {0, Host, withModbusCrc(std::string("\x01\x41\x00\x05", 4))},
        {3'000, Device, withModbusCrc(std::string("\x01\xC1\x00\x05\x55\xAA", 6))},
        {10'000, Host, withModbusCrc(std::string("\x01\x41\x00\x06", 4))},
        {14'000, Device, withModbusCrc(std::string("\x01\xC1\x00\x06\x66\xBB", 6))},
        {20'000, Host, "other"},
    };
    ASSERT_TRUE(start("when 01 41 {n:2} crc16-modbus\n"
                      "answer recorded crc16-modbus\n"
                      "put n at 2\n",
                      said)
                    .ok());
    const std::string request = withModbusCrc(std::string("\x01\x41\x12\x34", 4));
    const std::string origin = "answer rule at line 1 | ";
    EXPECT_EQ(offer(request, false),
              origin + "3000:" + withModbusCrc(std::string("\x01\xC1\x12\x34\x55\xAA", 6)));
    EXPECT_EQ(offer(request, false),
              origin + "4000:" + withModbusCrc(std::string("\x01\xC1\x12\x34\x66\xBB", 6)));
    // Every recorded one used: the last again.
    EXPECT_EQ(offer(request, false),
              origin + "4000:" + withModbusCrc(std::string("\x01\xC1\x12\x34\x66\xBB", 6)));
    std::string corrupt = request;
    corrupt.back() ^= 1;
    EXPECT_EQ(offer(corrupt, true), "refused rule at line 1: wrong crc16-modbus");
}

TEST_F(RuleAnswersTest, RecordedAnswersKeepTheirBurstsAndDelays) {
    const std::vector<Said> said = {
        {0, Host, "PING"},  {1'500, Device, "PO"}, {4'000, Device, "NG"},
        {9'000, Host, "X"}, {9'700, Device, "y"},
    };
    const std::string rules =
        "when \"PING\"\nanswer recorded\n"
        "when \"PANG\"\nanswer recorded\ndelay 10ms\n"
        "when \"X\"\nanswer \"z\"\n"
        "when \"Q\"\nanswer \"q\"\n";
    // No recording matches PANG's `when` in a recording of PING alone: it borrows nothing.
    const RuleAnswers::Started unmatched = start(rules, said);
    ASSERT_TRUE(unmatched.mistake);
    EXPECT_EQ(unmatched.mistake->line, 3u);

    ASSERT_TRUE(start("when \"P\" {a:1} \"NG\"\nanswer recorded\n"
                      "when \"P\" {a:1} \"NG!\"\nanswer recorded\ndelay 10ms\nput a at 1\n"
                      "when \"X\"\nanswer \"z\"\n"
                      "when \"Q\"\nanswer \"q\"\n",
                      {{0, Host, "PING"},
                       {1'500, Device, "PO"},
                       {4'000, Device, "NG"},
                       {9'000, Host, "X"},
                       {9'300, Device, "y"},
                       {20'000, Host, "PONG!"},
                       {20'800, Device, "ok"},
                       {21'000, Device, "!"}})
                    .ok());
    EXPECT_EQ(offer("PANG"), "answer rule at line 1 | 1500:PO | 4000:NG");
    EXPECT_EQ(offer("PANG!"), "answer rule at line 3 | 10000:oA | 10200:!");
    // A made answer waits as the device did for the request its rule matched; otherwise the
    // recording's median delay.
    EXPECT_EQ(offer("X"), "answer rule at line 7 | 300:z");
    EXPECT_EQ(offer("Q"), "answer rule at line 9 | 800:q");

    const ParsedRules recorded = parseAnswerRules("\nwhen \"PING\"\nanswer recorded\n");
    EXPECT_EQ(answers_.start(recorded.rules, std::nullopt).mistake->text,
              "`answer recorded` needs a recording");
}
