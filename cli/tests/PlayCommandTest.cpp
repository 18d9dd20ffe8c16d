#include <gtest/gtest.h>

#include <algorithm>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationWriter.h"

namespace {

class PlayCommandTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_TRUE(
            writeSerialFile(file_, {{0, bytesOf("a")}, {10, bytesOf("b")}, {20, bytesOf("c")}}));
    }
    std::vector<std::string> playWords(std::vector<std::string> extra = {}) const {
        std::vector<std::string> words = {"play", file_};
        const auto port = portWords();
        words.insert(words.end(), port.begin(), port.end());
        words.insert(words.end(), extra.begin(), extra.end());
        return words;
    }
    long long spanOf(const std::vector<Arrival>& arrivals) const {
        return arrivals.empty() ? -1 : msBetween(arrivals.front().time, arrivals.back().time);
    }
    int lineCount(const std::string& text) const {
        return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }

    std::string file_ = dir_.file("abc.ser");
};

}  // namespace

TEST_F(PlayCommandTest, SendsTheFileWithItsTimingAndReportsIt) {
    startCli(playWords({"--report", dir_.file("report.json")}));
    const auto arrivals = receiveAtDevice(3, milliseconds(20000));
    EXPECT_EQ(joined(arrivals), bytesOf("abc"));
    EXPECT_NEAR(spanOf(arrivals), 2000, 300);
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("chunks sent: 3\nbytes sent: 3\n"), std::string::npos) << output();
    EXPECT_NE(output().find("lateness p99: "), std::string::npos) << output();
    EXPECT_NE(text("report.json").find("\"chunks\": 3,"), std::string::npos);
}

TEST_F(PlayCommandTest, SpeedStartPositionAndLoopChangeWhatIsSentAndWhen) {
    startCli(playWords({"--speed", "2"}));
    auto arrivals = receiveAtDevice(3, milliseconds(20000));
    EXPECT_EQ(joined(arrivals), bytesOf("abc"));
    EXPECT_NEAR(spanOf(arrivals), 1000, 300);
    EXPECT_EQ(exitStatus(), 0) << errors();

    // From 1 s: "a" is left out, "b" goes at once and "c" a second later.
    startCli(playWords({"--from", "1"}));
    arrivals = receiveAtDevice(2, milliseconds(20000));
    EXPECT_EQ(joined(arrivals), bytesOf("bc"));
    EXPECT_NEAR(spanOf(arrivals), 1000, 300);
    EXPECT_EQ(exitStatus(), 0) << errors();

    startCli(playWords({"--loop", "2", "--speed", "4"}));
    EXPECT_EQ(joined(receiveAtDevice(6, milliseconds(20000))), bytesOf("abcabc"));
    EXPECT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("chunks sent: 6\n"), std::string::npos) << output();
}

TEST_F(PlayCommandTest, MistakesExitTwoAndAPortThatWillNotOpenExitsOneEachInOneLine) {
    const std::string port = pair_.portName();
    const std::vector<std::vector<std::string>> mistakes = {
        {"play"},
        {"play", file_},
        {"play", file_, "--port", port, "--speed", "0"},
        {"play", file_, "--port", port, "--loop", "0"},
        {"record", dir_.file("x.ser"), "--port", port, "--idle-stop", "soon"},
        {"record", dir_.file("x.ser"), "--port", port, "--log-date"},
    };
    for (const auto& words : mistakes) {
        EXPECT_EQ(runCli(words), 2) << words.back();
        EXPECT_EQ(lineCount(errors()), 1) << errors();
    }

    const std::string missing = dir_.file("no-such-port");
    for (const std::string command : {"play", "record"}) {
        const std::string file = command == "play" ? file_ : dir_.file("y.ser");
        EXPECT_EQ(runCli({command, file, "--port", missing}), 1) << errors();
        EXPECT_EQ(lineCount(errors()), 1) << errors();
        EXPECT_NE(errors().find("cannot open port " + missing + ": "), std::string::npos)
            << errors();
    }
}

TEST_F(PlayCommandTest, AConversationFileGivesTheDevicesBurstsOnlyOnTheirSchedule) {
    const std::string conversation = dir_.file("talk.pcapng");
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(conversation, {"test", {{"a <-> b", "115200 8N1"}}}).happened());
    const std::uint64_t start = 1'700'000'000'000'000;
    const std::vector<std::pair<std::uint64_t, Direction>> bursts = {
        {0, Direction::Host},
        {250'000, Direction::Device},
        {600'000, Direction::Host},
        {1'000'000, Direction::Device},
        {1'250'000, Direction::Device}};
    const std::string bytes = "XaYbc";
    for (std::size_t i = 0; i < bursts.size(); ++i) {
        const std::vector<std::uint8_t> one{static_cast<std::uint8_t>(bytes[i])};
        ASSERT_FALSE(writer.write({start + bursts[i].first, bursts[i].second, 0, one}).happened());
    }
    ASSERT_FALSE(writer.close().happened());
    file_ = conversation;

    startCli(playWords({"--report", dir_.file("report.json")}));
    auto arrivals = receiveAtDevice(3, milliseconds(20000));
    EXPECT_EQ(joined(arrivals), bytesOf("abc"));
    EXPECT_NEAR(spanOf(arrivals), 1000, 150);
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(text("report.json").find("\"chunks\": 3,"), std::string::npos);

    // From 0.9 s, to the microsecond: "b" after 0.1 s, "c" 0.25 s later.
    startCli(playWords({"--from", "0.9"}));
    arrivals = receiveAtDevice(2, milliseconds(20000));
    EXPECT_EQ(joined(arrivals), bytesOf("bc"));
    EXPECT_NEAR(spanOf(arrivals), 250, 100);
    EXPECT_EQ(exitStatus(), 0) << errors();
    EXPECT_EQ(runCli(playWords({"--from", "2"})), 1);
    EXPECT_NE(errors().find("holds nothing at or after --from"), std::string::npos) << errors();
}
