#include <gtest/gtest.h>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"

namespace {

// The adapter of the device's port is pulled and plugged back in while a command runs.
class ReconnectTest : public CliTest {
protected:
    ::testing::AssertionResult unplug() {
        device_.close();
        if (!pair_.takeAway()) return ::testing::AssertionFailure() << "cannot take the pair away";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult plugBackIn() {
        std::string why;
        if (!pair_.bringBack(&why)) return ::testing::AssertionFailure() << why;
        if (!openFarEnd(device_, pair_))
            return ::testing::AssertionFailure() << device_.errorText();
        return ::testing::AssertionSuccess();
    }
    bool waitForError(const std::string& text, std::size_t times = 1) {
        for (auto end = TestClock::now() + milliseconds(15000); TestClock::now() < end;) {
            std::size_t seen = 0;
            for (auto at = errors().find(text); at != std::string::npos;
                 at = errors().find(text, at + 1))
                ++seen;
            if (seen >= times) return true;
            std::this_thread::sleep_for(milliseconds(20));
        }
        return false;
    }
};

// Three times away and back: every byte sent while the port was there is in the one file, each
// gap a data-lost event with its time away, and the run ends only at Ctrl+C.
TEST_F(ReconnectTest, ARecordingGoesOnInTheSameFileAcrossEveryGap) {
    const std::string file = dir_.file("overnight.pcapng");
    startCli({"record", file, "--port", pair_.portName(), "-b", "115200", "--reconnect"});
    ASSERT_TRUE(waitForRecording()) << errors();
    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(sendFromDevice(bytesOf("before" + std::to_string(round))));
        std::this_thread::sleep_for(milliseconds(300));
        ASSERT_TRUE(unplug());
        ASSERT_TRUE(waitForError(" went away", round)) << errors();
        std::this_thread::sleep_for(milliseconds(400));
        ASSERT_TRUE(plugBackIn());
        ASSERT_TRUE(waitForError(" is back after", round)) << errors();
    }
    ASSERT_TRUE(sendFromDevice(bytesOf("after")));
    std::this_thread::sleep_for(milliseconds(300));
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();

    ConversationReader reader;
    ASSERT_FALSE(reader.open(file).happened());
    reader.keepLineEvents(true);
    std::string seen;
    ConversationBurst burst;
    while (reader.next(burst)) {
        if (!burst.lineEvent) {
            seen.append(burst.bytes.begin(), burst.bytes.end());
        } else if (burst.lineEvent->kind == LineEventKind::DataLost) {
            seen += "|";
            EXPECT_GE(burst.lineEvent->awayMicros, 300'000u);
            EXPECT_LT(burst.lineEvent->awayMicros, 15'000'000u);
        }
    }
    EXPECT_FALSE(reader.failure().happened()) << reader.failure().reason();
    EXPECT_EQ(seen, "before1|before2|before3|after");
}

// The stand-in's port goes away between two requests: it answers the next one once it is back.
TEST_F(ReconnectTest, AStandInAnswersAgainOnceItsPortIsBack) {
    const std::string file = dir_.file("device.pcapng");
    ASSERT_TRUE(writeConversationFile(file, {{0, Direction::Host, bytesOf("Q1")},
                                             {10'000, Direction::Device, bytesOf("A1")},
                                             {500'000, Direction::Host, bytesOf("Q2")},
                                             {510'000, Direction::Device, bytesOf("A2")}}));
    startCli({"respond", file, "--port", pair_.portName(), "-b", "115200", "--reconnect"});
    ASSERT_TRUE(waitForError("answering on")) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("Q1")));
    EXPECT_EQ(joined(receiveAtDevice(2, milliseconds(5000))), bytesOf("A1"));
    ASSERT_TRUE(unplug());
    ASSERT_TRUE(waitForError(" went away")) << errors();
    ASSERT_TRUE(plugBackIn());
    ASSERT_TRUE(waitForError(" is back after")) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("Q2")));
    EXPECT_EQ(joined(receiveAtDevice(2, milliseconds(5000))), bytesOf("A2"));
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("requests answered: 2\n"), std::string::npos) << output();
}

}  // namespace
