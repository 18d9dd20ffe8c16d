#include <gtest/gtest.h>

#include <fstream>

#include "cli/tests/CliTestSupport.h"
#include "tests/support/ModbusRtu.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A binary protocol: 02, a counter, 10, two bytes, CRC-16/MODBUS; its answer 02, the counter,
// 90, two values, CRC.
Bytes counterRequest(std::uint8_t counter) {
    return modbus_rtu::withCrc({0x02, counter, 0x10, 0x00, 0x01});
}
Bytes counterAnswer(std::uint8_t counter, std::uint8_t value) {
    return modbus_rtu::withCrc({0x02, counter, 0x90, 0x00, value});
}

// A conversation of a line protocol with sequence numbers and of the binary one with counters,
// answered by rules for numbers that were never recorded.
class RespondRulesTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        const std::vector<SaidBurst> said{
            {0, Direction::Host, bytesOf("S1 MEAS?\r\n")},
            {4'000, Direction::Device, bytesOf("S1 12.5\r\n")},
            {100'000, Direction::Host, counterRequest(1)},
            {103'000, Direction::Device, counterAnswer(1, 0x64)},
            {200'000, Direction::Host, counterRequest(2)},
            {203'000, Direction::Device, counterAnswer(2, 0x65)},
        };
        ASSERT_TRUE(writeConversationFile(file_, said));
    }
    void writeRules(const std::string& text) { std::ofstream(rules_, std::ios::binary) << text; }
    std::vector<std::string> respondWords(std::vector<std::string> extra) const {
        std::vector<std::string> words = {"respond", file_, "--rules", rules_};
        const auto port = portWords();
        words.insert(words.end(), port.begin(), port.end());
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }
    Bytes ask(const Bytes& request, std::size_t wanted) {
        EXPECT_TRUE(sendFromDevice(request));
        return joined(receiveAtDevice(wanted, milliseconds(3000)));
    }

    const std::string file_ = dir_.file("talk.pcapng");
    const std::string rules_ = dir_.file("talk.rules");
};

}  // namespace

TEST_F(RespondRulesTest, RulesAnswerNumbersNeverRecordedAndRefuseAWrongCheckValue) {
    writeRules(
        "# the line protocol echoes its sequence number\n"
        "when   \"S\" {seq:dec} \" MEAS?\\r\\n\"\n"
        "answer \"S\" {seq} \" 12.5\\r\\n\"\n"
        "\n"
        "# the binary one: the recorded answer, its counter set, its CRC made again\n"
        "when   02 {counter:1} 10 ??{2} crc16-modbus\n"
        "answer recorded crc16-modbus\n"
        "put    counter at 1\n");
    startCli(respondWords({"--report", dir_.file("report.json"), "--log", dir_.file("log.txt")}));
    for (auto end = TestClock::now() + milliseconds(15000);
         errors().find("answering") == std::string::npos && TestClock::now() < end;)
        std::this_thread::sleep_for(milliseconds(20));
    ASSERT_NE(errors().find("the rules in"), std::string::npos) << errors();

    // Recorded bytes still get the recording's answer.
    EXPECT_EQ(ask(bytesOf("S1 MEAS?\r\n"), 9), bytesOf("S1 12.5\r\n"));
    EXPECT_EQ(ask(bytesOf("S417 MEAS?\r\n"), 11), bytesOf("S417 12.5\r\n"));
    // The recorded answers in their order, with the counter that came and a right CRC.
    EXPECT_EQ(ask(counterRequest(9), 7), counterAnswer(9, 0x64));
    EXPECT_EQ(ask(counterRequest(200), 7), counterAnswer(200, 0x65));
    Bytes wrongCheck = counterRequest(3);
    wrongCheck.back() ^= 0xFF;
    EXPECT_TRUE(ask(wrongCheck, 1).empty());
    std::this_thread::sleep_for(milliseconds(100));

    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("answered by rules: 3\nanswered by the Modbus device: 0\n"
                            "requests refused: 1\n"),
              std::string::npos)
        << output();
    const std::string json = text("report.json");
    for (const char* key :
         {"\"answered_from_recording\": 1,", "\"answered_by_rules\": 3,",
          "\"requests_refused\": 1,", "\"rule at line 2\": 1", "\"rule at line 6\": 2"})
        EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
    const std::string log = text("log.txt");
    for (const char* line :
         {"Answered from the recording (request 1): 53 31", "Answered by rule at line 6: 02 09 10",
          "Not answered (rule at line 6: wrong crc16-modbus): 02 03 10"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

TEST_F(RespondRulesTest, AMistakeInTheRulesIsOneLineNamingItsLineAndNothingIsOpened) {
    writeRules("when 01 ?? crc17\nanswer 00\n");
    EXPECT_EQ(runCli(respondWords({})), 2);
    const std::string said = errors();
    EXPECT_EQ(said.find("veltrane-cli respond: " + rules_ + ":1: "), 0u) << said;
    EXPECT_NE(said.find("crc17"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

    // So is one in a Modbus map, which may answer alone.
    const std::string map = dir_.file("plc.csv");
    std::ofstream(map, std::ios::binary) << "unit,table,address,value\n1,holdings,0,5\n";
    std::vector<std::string> words = {"respond", "--modbus-map", map};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    EXPECT_EQ(runCli(words), 2);
    EXPECT_EQ(errors().find("veltrane-cli respond: " + map + ":2: "), 0u) << errors();
}
