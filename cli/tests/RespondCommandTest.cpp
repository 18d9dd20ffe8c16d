#include <gtest/gtest.h>

#include <algorithm>

#include "cli/tests/CliTestSupport.h"
#include "tests/support/ModbusRtu.h"
#include "workers/SilenceGap.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace modbus_rtu;

// A Modbus conversation: the device's greeting before any request, then three requests, the
// second answered in two bursts, the third the first's bytes answered with other values.
class RespondCommandTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        const std::vector<SaidBurst> said{
            {0, Direction::Device, bytesOf("ready")},
            {100'000, Direction::Host, first_},
            {105'000, Direction::Device, firstAnswer_},
            {200'000, Direction::Host, second_},
            {204'000, Direction::Device, {secondAnswer_.begin(), secondAnswer_.begin() + 3}},
            {504'000, Direction::Device, {secondAnswer_.begin() + 3, secondAnswer_.end()}},
            {600'000, Direction::Host, first_},
            {608'000, Direction::Device, firstAgain_},
        };
        ASSERT_TRUE(writeConversationFile(file_, said));
    }
    std::vector<std::string> respondWords(std::vector<std::string> extra = {}) const {
        std::vector<std::string> words = {"respond", file_};
        const auto port = portWords();
        words.insert(words.end(), port.begin(), port.end());
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }
    // Starts respond and takes the device's greeting, which goes out before any request.
    void startAnswering(const std::vector<std::string>& extra) {
        startCli(respondWords(extra));
        bool answering = false;
        for (auto end = TestClock::now() + milliseconds(15000);
             !answering && TestClock::now() < end;) {
            answering = errors().find("answering") != std::string::npos;
            std::this_thread::sleep_for(milliseconds(20));
        }
        ASSERT_TRUE(answering) << errors();
        ASSERT_EQ(joined(receiveAtDevice(5, milliseconds(3000))), bytesOf("ready"));
    }
    // Sends a request as the host and takes `wanted` bytes of answer: the answer's arrivals and
    // their times after the request went.
    std::vector<Arrival> ask(const Bytes& request, std::size_t wanted) {
        sent_ = TestClock::now();
        EXPECT_TRUE(sendFromDevice(request));
        return receiveAtDevice(wanted, milliseconds(3000));
    }
    long long msAfterRequest(const Arrival& arrival) const {
        return msBetween(sent_, arrival.time);
    }

    const Bytes first_ = readHoldingRegistersQuery(1, 0, 2);
    const Bytes second_ = readHoldingRegistersQuery(1, 10, 1);
    const Bytes firstAnswer_ = readHoldingRegistersResponse(1, {100, 101});
    const Bytes secondAnswer_ = readHoldingRegistersResponse(1, {110});
    const Bytes firstAgain_ = readHoldingRegistersResponse(1, {200, 201});
    const std::string file_ = dir_.file("modbus.pcapng");
    TestClock::time_point sent_;
};

}  // namespace

TEST_F(RespondCommandTest, AnswersEachRequestAsRecordedWithItsDelaysAndReportsHowItAnswered) {
    startAnswering({"--report", dir_.file("report.json"), "--log", dir_.file("log.txt")});
    if (HasFatalFailure()) return;

    auto arrivals = ask(first_, firstAnswer_.size());
    ASSERT_FALSE(arrivals.empty());
    EXPECT_EQ(joined(arrivals), firstAnswer_);
    EXPECT_GE(msAfterRequest(arrivals.front()), 4);
    EXPECT_LT(msAfterRequest(arrivals.front()), 60);

    // Two bursts, the second 300 ms after the first as recorded (long enough for reads under
    // Wine, which end only at their timeout when they wait for a first byte).
    arrivals = ask(second_, secondAnswer_.size());
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(joined(arrivals), secondAnswer_);
    EXPECT_NEAR(msBetween(arrivals[0].time, arrivals[1].time), 300, 60);

    // The same question a second time: the device's second answer; a third time, that again.
    EXPECT_EQ(joined(ask(first_, firstAgain_.size())), firstAgain_);
    EXPECT_EQ(joined(ask(first_, firstAgain_.size())), firstAgain_);
    // Bytes that are no request: no answer.
    EXPECT_TRUE(ask({0xDE, 0xAD}, 1).empty());
    std::this_thread::sleep_for(milliseconds(100));

    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("requests: 5\nrequests answered: 4\nanswered in order: 3\n"
                            "answered out of order: 1\nanswered by rules: 0\n"
                            "answered by the Modbus device: 0\nrequests refused: 0\n"
                            "requests unknown: 1\n"),
              std::string::npos)
        << output();
    const std::string json = text("report.json");
    for (const char* key : {"\"requests\": 5,", "\"requests_answered\": 4,",
                            "\"answered_in_order\": 3,", "\"answered_out_of_order\": 1,",
                            "\"requests_unknown\": 1,", "\"answer_lateness_p99_ms\": "})
        EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
    EXPECT_NE(text("log.txt").find("Unknown request: de ad"), std::string::npos) << text("log.txt");
}

TEST_F(RespondCommandTest, StrictEndsAtTheFirstMissSayingWhatWasExpectedAndWhatCame) {
    startAnswering({"--strict", "--duration", "20"});
    if (HasFatalFailure()) return;
    EXPECT_EQ(joined(ask(first_, firstAnswer_.size())), firstAnswer_);
    // The second request was due; the first's bytes came again.
    EXPECT_TRUE(ask(first_, 1).empty());
    ASSERT_EQ(exitStatus(), 1) << errors();
    // One line after the one saying it began (the console's line end is its own).
    const std::string said = errors();
    const std::size_t start = said.find('\n') + 1;
    EXPECT_EQ(said.substr(start, said.find_first_of("\r\n", start) - start),
              "veltrane-cli respond: expected request 2 (01 03 00 0a 00 01 a4 08), got "
              "01 03 00 00 00 02 c4 0b (a request out of order)");
    EXPECT_EQ(said.find('\n', said.find('\n', start) + 1), std::string::npos) << said;

    // Mistakes in the command line: exit 2, one line.
    for (const char* gap : {"0", "soon"}) {
        EXPECT_EQ(runCli(respondWords({"--gap", gap})), 2);
        const std::string mistake = errors();
        EXPECT_EQ(std::count(mistake.begin(), mistake.end(), '\n'), 1) << mistake;
    }
}

TEST_F(RespondCommandTest, APortThatGoesAwayEndsItWithOneLineNamingThePort) {
    startAnswering({});
    if (HasFatalFailure()) return;
    EXPECT_EQ(joined(ask(first_, firstAnswer_.size())), firstAnswer_);
    if (!pair_.stop()) GTEST_SKIP() << "the pair cannot be ended here";
    ASSERT_EQ(exitStatus(), 1) << errors();
    EXPECT_NE(errors().find("veltrane-cli respond: port " + pair_.portName() + " failed"),
              std::string::npos)
        << errors();
    EXPECT_NE(output().find("requests answered: 1\n"), std::string::npos) << output();
}

TEST(SilenceGap, IsThreeAndAHalfCharactersOfTheLineAndAtLeastTwoMilliseconds) {
    DeviceSettings line;
    line.speed = 9600;  // 10 bits a character: 3.5 of them last 3645.8 µs
    EXPECT_EQ(defaultGapMicros(line), 3646u);
    line.speed = 1200;  // 7E2: 11 bits
    line.dataBits = 7;
    line.parity = Parity::Even;
    line.stopBits = StopBits::Two;
    EXPECT_EQ(defaultGapMicros(line), 32084u);
    line.speed = 115200;
    EXPECT_EQ(defaultGapMicros(line), 2000u);
}
