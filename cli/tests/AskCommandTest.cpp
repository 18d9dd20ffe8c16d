#include <gtest/gtest.h>

#include <tuple>

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
    EXPECT_FALSE(writer.open(path, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
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

// The test plays the device itself here, to see when each request comes and to answer late.
TEST_F(CliTest, AskKeepsTheRequestsSpacingAndPausesAndTakesALateAnswerWithinTheTimeout) {
    const std::string file = dir_.file("spaced.pcapng");
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        const std::uint64_t t = 1'700'000'000'000'000;
        // A request in two bursts 100 ms apart, an answer 50 ms later; then, 500 ms after that
        // answer, a second request.
        for (const auto& [at, direction, text] :
             std::vector<std::tuple<std::uint64_t, Direction, std::string>>{
                 {t, Direction::Host, "Q1a"},
                 {t + 100'000, Direction::Host, "Q1b"},
                 {t + 150'000, Direction::Device, "A1"},
                 {t + 650'000, Direction::Host, "Q2"},
                 {t + 652'000, Direction::Device, "A2"}}) {
            ASSERT_FALSE(writer.write({at, direction, 0, bytesOf(text)}).happened());
        }
        ASSERT_FALSE(writer.close().happened());
    }
    std::vector<std::string> words = {"ask", file, "--report", dir_.file("report.json")};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    startCli(words);

    const auto first = receiveAtDevice(6, milliseconds(10000));
    ASSERT_EQ(joined(first), bytesOf("Q1aQ1b"));
    ASSERT_GE(first.size(), 2u);
    EXPECT_NEAR(msBetween(first.front().time, first.back().time), 100, 50);
    std::this_thread::sleep_for(milliseconds(300));  // later than recorded, within the second
    ASSERT_TRUE(sendFromDevice(bytesOf("A1")));
    const auto answered = TestClock::now();
    const auto second = receiveAtDevice(2, milliseconds(10000));
    ASSERT_EQ(joined(second), bytesOf("Q2"));
    EXPECT_NEAR(msBetween(answered, second.front().time), 500, 100);
    ASSERT_TRUE(sendFromDevice(bytesOf("A2+")));  // one byte more than recorded

    ASSERT_EQ(exitStatus(), 1) << output() << errors();
    EXPECT_NE(output().find("request 2 at 0.650000 s: differs at byte 2: expected 41 32, got 41 "
                            "32 2b\n"),
              std::string::npos)
        << output();
    const std::string report = text("report.json");
    EXPECT_NE(report.find("\"answers_matched\": 1,\n  \"answers_differing\": 1,"),
              std::string::npos)
        << report;
    // The late answer came about 300 ms after its request.
    const auto max = report.find("\"answer_time_max_ms\": ");
    ASSERT_NE(max, std::string::npos) << report;
    EXPECT_NEAR(std::stod(report.substr(max + 22)), 300, 100) << report;
}

TEST_F(CliTest, AskWhoseDeviceGoesAwayFailsNamingThePort) {
    const std::string file = writeModbusConversation(dir_.file("modbus.pcapng"));
    std::vector<std::string> words = {"ask", file, "--timeout", "5000"};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    startCli(words);
    ASSERT_FALSE(receiveAtDevice(8, milliseconds(10000)).empty());
    if (!pair_.stop()) GTEST_SKIP() << "the serial pair is not this test's to end";
    ASSERT_EQ(exitStatus(milliseconds(4000)), 1) << output() << errors();
    EXPECT_EQ(errors().rfind("veltrane-cli ask: port " + pair_.portName() + " failed: ", 0), 0u)
        << errors();
}

TEST_F(CliTest, AskEndsAShortAnswerAtTheLinesSilenceNotAtTheTimeout) {
    const std::string file = dir_.file("short.pcapng");
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        const std::uint64_t t = 1'700'000'000'000'000;
        ASSERT_FALSE(writer.write({t, Direction::Host, 0, bytesOf("Q1")}).happened());
        ASSERT_FALSE(writer.write({t + 2'000, Direction::Device, 0, bytesOf("AB")}).happened());
        ASSERT_FALSE(writer.write({t + 102'000, Direction::Host, 0, bytesOf("Q2")}).happened());
        ASSERT_FALSE(writer.write({t + 104'000, Direction::Device, 0, bytesOf("C")}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    std::vector<std::string> words = {"ask", file};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    startCli(words);
    ASSERT_EQ(joined(receiveAtDevice(2, milliseconds(10000))), bytesOf("Q1"));
    ASSERT_TRUE(sendFromDevice(bytesOf("A")));
    const auto answered = TestClock::now();
    const auto next = receiveAtDevice(2, milliseconds(10000));
    ASSERT_EQ(joined(next), bytesOf("Q2"));
    // A silence of some tens of ms and the recorded 100 ms pause: nowhere near the 1 s timeout.
    EXPECT_LT(msBetween(answered, next.front().time), 600);
    ASSERT_TRUE(sendFromDevice(bytesOf("C")));
    ASSERT_EQ(exitStatus(), 1) << output() << errors();
    EXPECT_EQ(output().rfind("request 1 at 0.000000 s: differs at byte 1: expected 41 42, got 41\n"
                             "requests: 2\nanswers matched: 1\n",
                             0),
              0u)
        << output();
}

TEST_F(CliTest, AskRefusesAnAnswerTooLongToHoldInOneLine) {
    const std::string file = dir_.file("long.pcapng");
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        const std::uint64_t t = 1'700'000'000'000'000;
        ASSERT_FALSE(writer.write({t, Direction::Host, 0, bytesOf("Q")}).happened());
        const std::vector<std::uint8_t> burst(ConversationWriter::kMaxBurstBytes, 'a');
        for (std::uint64_t i = 1; i * burst.size() <= (64u << 20) + burst.size(); ++i)
            ASSERT_FALSE(writer.write({t + i, Direction::Device, 0, burst}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    std::vector<std::string> words = {"ask", file};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    ASSERT_EQ(runCli(words), 1) << output() << errors();
    EXPECT_NE(errors().find("veltrane-cli ask: cannot read " + file +
                            ": request 1 or its answer is longer than ask can hold"),
              std::string::npos)
        << errors();
}

// A rig must not pass on answers that came after it gave up waiting, nor on a file that holds
// nothing to ask (a recording of one port, the device's bursts alone).
TEST_F(CliTest, AskCountsAnAnswerAfterTheTimeoutAsLateAndRefusesAFileWithoutRequests) {
    const std::string file = dir_.file("late.pcapng");
    const std::uint64_t t = 1'700'000'000'000'000;
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
        ASSERT_FALSE(writer.write({t, Direction::Host, 0, bytesOf("Q1")}).happened());
        ASSERT_FALSE(writer.write({t + 2'000, Direction::Device, 0, bytesOf("A1")}).happened());
        ASSERT_FALSE(writer.write({t + 800'000, Direction::Host, 0, bytesOf("Q2")}).happened());
        ASSERT_FALSE(writer.write({t + 802'000, Direction::Device, 0, bytesOf("A2")}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    std::vector<std::string> words = {"ask", file,       "--timeout",
                                      "200", "--report", dir_.file("report.json")};
    const auto port = portWords();
    words.insert(words.end(), port.begin(), port.end());
    startCli(words);
    ASSERT_EQ(joined(receiveAtDevice(2, milliseconds(10000))), bytesOf("Q1"));
    std::this_thread::sleep_for(milliseconds(400));  // the right answer, after the timeout
    ASSERT_TRUE(sendFromDevice(bytesOf("A1")));
    ASSERT_EQ(joined(receiveAtDevice(2, milliseconds(10000))), bytesOf("Q2"));
    ASSERT_TRUE(sendFromDevice(bytesOf("A2")));
    ASSERT_EQ(exitStatus(), 1) << output() << errors();
    EXPECT_NE(output().find("request 1 at 0.000000 s: answer after the timeout: expected 41 31, "
                            "got 41 31\n"),
              std::string::npos)
        << output();
    EXPECT_NE(text("report.json").find("\"answers_missing\": 0,\n  \"answers_late\": 1,"),
              std::string::npos)
        << text("report.json");

    const std::string deviceOnly = dir_.file("device-only.pcapng");
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(deviceOnly, {"test", {{"a", "115200 8N1"}}}).happened());
        ASSERT_FALSE(writer.write({t, Direction::Device, 0, bytesOf("tick")}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    words[1] = deviceOnly;
    ASSERT_EQ(runCli(words), 1) << output() << errors();
    EXPECT_NE(errors().find("veltrane-cli ask: " + deviceOnly + " holds no request to ask"),
              std::string::npos)
        << errors();
}
