#include <gtest/gtest.h>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/ModbusTestDevice.h"

namespace {

constexpr int kRequests = 3;

// A conversation with the test device as it answers by default: three reads of two registers,
// each answered after 2 ms, 50 ms apart.
std::string writeModbusConversation(const std::string& path) {
    ConversationWriter writer;
    EXPECT_FALSE(writer.open(path, {"test", "a <-> b", "115200 8N1"}).happened());
    const std::uint64_t start = 1'700'000'000'000'000;
    for (int i = 0; i < kRequests; ++i) {
        const auto first = static_cast<std::uint16_t>(2 * i);
        const auto query = modbus_rtu::readHoldingRegistersQuery(1, first, 2);
        const auto answer = modbus_rtu::readHoldingRegistersResponse(
            1, {static_cast<std::uint16_t>(100 + first), static_cast<std::uint16_t>(101 + first)});
        const std::uint64_t at = start + 50'000ull * i;
        EXPECT_FALSE(writer.write({at, Direction::Host, 0, query}).happened());
        EXPECT_FALSE(writer.write({at + 2'000, Direction::Device, 0, answer}).happened());
    }
    EXPECT_FALSE(writer.close().happened());
    return path;
}

// The test device answers on the pair's far end in place of the fixture's own port.
class AskCommandTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        device_.close();
        writeModbusConversation(file_);
    }
    void startDevice(ModbusTestDevice& device) {
        DeviceSettings settings;
        settings.speed = 115200;
        std::string why;
        ASSERT_TRUE(device.start(SerialPort::devicePath(pair_.devicePortName()), settings, &why))
            << why;
    }
    std::vector<std::string> askWords(std::vector<std::string> extra = {}) const {
        std::vector<std::string> words = {"ask", file_};
        const auto port = portWords();
        words.insert(words.end(), port.begin(), port.end());
        words.insert(words.end(), {"--report", dir_.file("report.json")});
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }
    bool reportSays(const std::string& line) const {
        return text("report.json").find(line) != std::string::npos;
    }

    std::string file_ = dir_.file("modbus.pcapng");
};

}  // namespace

TEST_F(AskCommandTest, TheDeviceThatWasRecordedAnswersAsRecorded) {
    ModbusTestDevice device;
    startDevice(device);
    ASSERT_EQ(runCli(askWords()), 0) << output() << errors();
    EXPECT_EQ(device.framesReceived(), (std::vector<std::vector<std::uint8_t>>{
                                           modbus_rtu::readHoldingRegistersQuery(1, 0, 2),
                                           modbus_rtu::readHoldingRegistersQuery(1, 2, 2),
                                           modbus_rtu::readHoldingRegistersQuery(1, 4, 2)}));
    EXPECT_TRUE(reportSays("\"requests\": 3,\n  \"answers_matched\": 3,\n")) << text("report.json");
    EXPECT_NE(output().find("answers differing: 0\n"), std::string::npos) << output();
    // The device answers after 2 ms; the time measured includes the pty's way back.
    EXPECT_FALSE(reportSays("\"answer_time_p50_ms\": 0.000")) << text("report.json");
}

TEST_F(AskCommandTest, OtherRegisterValuesAreToldOneLineEach) {
    ModbusTestDevice device({1, std::chrono::microseconds(2000), 200});
    startDevice(device);
    ASSERT_EQ(runCli(askWords()), 1) << output() << errors();
    // Register 0 held 100 (00 64) and now holds 200 (00 c8): the fifth byte is the first to differ.
    EXPECT_NE(output().find("request 1 at 0.000000 s: differs at byte 4: expected 01 03 04 00 64 "
                            "00 65 "),
              std::string::npos)
        << output();
    EXPECT_NE(output().find("request 3 at 0.100000 s: differs at byte 4: "), std::string::npos)
        << output();
    EXPECT_NE(output().find(", got 01 03 04 00 c8 00 c9 "), std::string::npos) << output();
    EXPECT_TRUE(
        reportSays("\"answers_matched\": 0,\n  \"answers_differing\": 3,\n  "
                   "\"answers_missing\": 0,"))
        << text("report.json");
    EXPECT_NE(errors().find("3 of 3 answers were not as recorded"), std::string::npos) << errors();
}

TEST_F(AskCommandTest, ASilentDeviceIsMissingWithinTheTimeout) {
    ModbusTestDevice device({2, std::chrono::microseconds(2000), 100});  // another unit: silent
    startDevice(device);
    const auto started = TestClock::now();
    ASSERT_EQ(runCli(askWords({"--timeout", "300"})), 1) << output() << errors();
    // Three waits of 300 ms and the recorded pauses, with room for a slow start.
    EXPECT_LT(msBetween(started, TestClock::now()), 3 * 300 + 3000);
    EXPECT_EQ(device.framesReceived().size(), 3u);
    EXPECT_NE(output().find("request 2 at 0.050000 s: no answer: expected 01 03 04 00 66 00 67 "),
              std::string::npos)
        << output();
    EXPECT_TRUE(reportSays("\"answers_missing\": 3,")) << text("report.json");
}
