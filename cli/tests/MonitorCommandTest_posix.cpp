#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/MonitorTestSupport.h"
#include "tests/support/ModbusTestDevice.h"
#include "tests/support/TerminalProgram_posix.h"

namespace {

class MonitorPtyTest : public MonitorCliTest {
protected:
    // Starts the monitor with a pseudo-terminal host side behind link_, the device on the pair;
    // returns the pseudo-terminal's path as the command printed it.
    std::string startMonitor(const std::vector<std::string>& extra = {}) {
        std::vector<std::string> words = {
            "monitor", "--host-port", "pty:" + link_, "--device-port", pair_.portName(), "-b",
            "115200",  "-o",          file_};
        words.insert(words.end(), extra.begin(), extra.end());
        startCli(words);
        for (auto end = TestClock::now() + milliseconds(15000); TestClock::now() < end;) {
            // The path is told once both ports are open; what the program sends from then on
            // waits in the pseudo-terminal until the relay takes it.
            const std::string said = output();
            if (said.find('\n') != std::string::npos) return said.substr(0, said.find('\n'));
            std::this_thread::sleep_for(milliseconds(20));
        }
        ADD_FAILURE() << "the monitor did not start: " << errors();
        return {};
    }

    const std::string link_ = dir_.file("host");
    const std::string file_ = dir_.file("modbus.pcapng");
};

// A program that opens its port for each poll, as libmodbus's tools do, and goes before the
// answer comes: the answer waits for its next visit.
TEST_F(MonitorPtyTest, APollingProgramThatReopensThePtyGetsEveryAnswerThenRespondGivesThemAgain) {
    device_.close();
    ModbusTestDevice modbus({1, std::chrono::microseconds(30000), 100});
    std::string why;
    ASSERT_TRUE(modbus.start(pair_.devicePortName(), job_.device, &why)) << why;
    const std::string slave = startMonitor({"--duration", "60"});
    ASSERT_FALSE(slave.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link_).string(), slave);
    const ModbusPolls polls = modbusPolls(3);
    for (std::size_t poll = 0; poll < polls.requests.size(); ++poll) {
        TerminalProgram program;
        ASSERT_TRUE(program.open(link_));
        ASSERT_TRUE(program.send(polls.requests[poll]));
        program.close();
        std::this_thread::sleep_for(milliseconds(100));
        ASSERT_TRUE(program.open(link_));
        EXPECT_EQ(program.receive(polls.answers[poll].size(), milliseconds(5000)),
                  polls.answers[poll])
            << poll;
    }
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link_)));
    const Conversation read = readConversation(file_);
    EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
    EXPECT_EQ(read.host, polls.allRequests());
    EXPECT_EQ(read.device, polls.allAnswers());
    // Each answer's first burst comes after its request's last by at least the device's delay.
    for (std::size_t i = 1; i < read.bursts.size(); ++i) {
        EXPECT_GE(read.bursts[i].timeMicros, read.bursts[i - 1].timeMicros) << i;
        if (read.bursts[i].direction == Direction::Device &&
            read.bursts[i - 1].direction == Direction::Host) {
            EXPECT_GE(read.bursts[i].timeMicros - read.bursts[i - 1].timeMicros, 25'000u) << i;
        }
    }

    // The device has gone; the file answers for it to the same program on its own pty.
    modbus.stop();
    startCli({"respond", file_, "--port", "pty:" + link_, "--quiet"});
    for (auto end = TestClock::now() + milliseconds(15000);
         output().find('\n') == std::string::npos && TestClock::now() < end;)
        std::this_thread::sleep_for(milliseconds(20));
    for (std::size_t poll = 0; poll < polls.requests.size(); ++poll) {
        TerminalProgram program;
        ASSERT_TRUE(program.open(link_));
        ASSERT_TRUE(program.send(polls.requests[poll]));
        EXPECT_EQ(program.receive(polls.answers[poll].size(), milliseconds(5000)),
                  polls.answers[poll])
            << poll;
    }
    ASSERT_TRUE(cli_.interrupt());
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("answered in order: 3\n"), std::string::npos) << output();
}

TEST_F(MonitorPtyTest, ADeviceThatGoesAwayEndsItWithItsPortNamedAndTheFileKept) {
    startMonitor({"--quiet"});
    TerminalProgram program;
    ASSERT_TRUE(program.open(link_));
    ASSERT_TRUE(program.send(bytesOf("ask")));
    EXPECT_EQ(joined(receiveAtDevice(3, milliseconds(5000))), bytesOf("ask"));
    ASSERT_TRUE(sendFromDevice(bytesOf("answer")));
    EXPECT_EQ(program.receive(6, milliseconds(5000)), bytesOf("answer"));
    if (!pair_.stop()) GTEST_SKIP() << "the serial pair is not this test's to end";
    ASSERT_EQ(exitStatus(), 1) << errors();
    EXPECT_EQ(errors().rfind("veltrane-cli monitor: port " + pair_.portName() + " failed: ", 0), 0u)
        << errors();
    EXPECT_NE(errors().find("the conversation so far is kept in " + file_), std::string::npos);
    const Conversation read = readConversation(file_);
    EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
    EXPECT_EQ(read.host, bytesOf("ask"));
    EXPECT_EQ(read.device, bytesOf("answer"));
}

}  // namespace

// The capture would go into the line it watches, or into a device, and leave no file.
TEST_F(MonitorPtyTest, TheCaptureGoesIntoARegularFileOnly) {
    const std::string port = dir_.file("port.pcapng");
    const std::string null = dir_.file("null.pcapng");
    std::filesystem::create_symlink(pair_.portName(), port);
    std::filesystem::create_symlink("/dev/null", null);
    const std::string device = pair_.devicePortName();
    const std::vector<std::vector<std::string>> refused = {
        {"--host-port", device, "--device-port", port, "-o", port},
        {"--host-port", "pty:" + file_, "--device-port", device, "-o", file_},
        {"--host-port", "pty", "--device-port", device, "-o", null},
    };
    for (std::vector<std::string> words : refused) {
        words.insert(words.begin(), "monitor");
        EXPECT_EQ(runCli(words, milliseconds(10000)), 2) << errors();
        EXPECT_NE(errors().find("monitor: cannot write the conversation into "), std::string::npos)
            << errors();
    }
    EXPECT_NE(errors().find("it is not a regular file"), std::string::npos) << errors();
    EXPECT_FALSE(std::filesystem::exists(file_));
}

// Two programs, each with its device: each pair passes its own bytes only, and the file keeps
// both pairs as interfaces of one conversation in the order things happened.
TEST_F(MonitorPtyTest, TwoPairsPassTheirOwnBytesIntoOneFile) {
    SecondDevice valve;
    ASSERT_TRUE(valve.start());
    const std::string link2 = dir_.file("host2");
    const std::string slave = startMonitor(
        {"--host-port", "pty:" + link2, "--device-port", valve.portName(), "--duration", "60"});
    ASSERT_FALSE(slave.empty());
    ASSERT_TRUE(waitForError("monitoring")) << errors();
    TerminalProgram meterProgram, valveProgram;
    ASSERT_TRUE(meterProgram.open(link_));
    ASSERT_TRUE(valveProgram.open(link2));
    ASSERT_TRUE(meterProgram.send(bytesOf("read")));
    EXPECT_EQ(joined(receiveAtDevice(4, milliseconds(5000))), bytesOf("read"));
    ASSERT_TRUE(valveProgram.send(bytesOf("open")));
    EXPECT_EQ(valve.receive(4), "open");
    ASSERT_TRUE(valve.send("done"));
    EXPECT_EQ(valveProgram.receive(4, milliseconds(5000)), bytesOf("done"));
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();

    ConversationReader reader;
    ASSERT_FALSE(reader.open(file_).happened());
    ASSERT_EQ(reader.interfaces().size(), 2u);
    EXPECT_EQ(reader.interfaces()[1].name, "pty:" + link2 + " <-> " + valve.portName());
    std::string seen;
    ConversationBurst burst;
    while (reader.next(burst)) {
        seen += std::to_string(burst.interfaceIndex + 1) +
                (burst.direction == Direction::Host ? ">" : "<") +
                std::string(burst.bytes.begin(), burst.bytes.end()) + " ";
    }
    EXPECT_EQ(seen, "1>read 2>open 2<done ");
}
