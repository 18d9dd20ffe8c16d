#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/ModbusTestDevice.h"
#include "tests/support/TerminalProgram_posix.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Conversation {
    Bytes host, device;
    std::vector<ConversationBurst> bursts;  // without their bytes
    Failure failure;
};

Conversation readConversation(const std::string& path) {
    Conversation read;
    ConversationReader reader;
    read.failure = reader.open(path);
    ConversationBurst burst;
    while (!read.failure.happened() && reader.next(burst)) {
        Bytes& side = burst.direction == Direction::Host ? read.host : read.device;
        side.insert(side.end(), burst.bytes.begin(), burst.bytes.end());
        burst.bytes = {};
        read.bursts.push_back(burst);
    }
    if (!read.failure.happened()) read.failure = reader.failure();
    return read;
}

class MonitorCommandTest : public CliTest {
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

// A program polling a Modbus device through the monitor, opening its port for each poll, as
// libmodbus's tools do; Ctrl+C then ends the run with the whole conversation in the file, which
// the outside reader decodes as queries and answers, each way.
TEST_F(MonitorCommandTest, ModbusPollsPassAndTheirConversationIsRecorded) {
    device_.close();
    ModbusTestDevice modbus;
    std::string why;
    ASSERT_TRUE(modbus.start(pair_.devicePortName(), job_.device, &why)) << why;
    const std::string slave = startMonitor();
    ASSERT_FALSE(slave.empty());
    EXPECT_EQ(std::filesystem::read_symlink(link_).string(), slave);
    Bytes requests, answers;
    for (std::uint16_t poll = 0; poll < 3; ++poll) {
        const Bytes request = modbus_rtu::readHoldingRegistersQuery(1, poll, 2);
        const Bytes answer = modbus_rtu::readHoldingRegistersResponse(
            1, {static_cast<std::uint16_t>(100 + poll), static_cast<std::uint16_t>(101 + poll)});
        TerminalProgram program;
        ASSERT_TRUE(program.open(link_));
        ASSERT_TRUE(program.send(request));
        EXPECT_EQ(program.receive(answer.size(), milliseconds(5000)), answer) << poll;
        requests.insert(requests.end(), request.begin(), request.end());
        answers.insert(answers.end(), answer.begin(), answer.end());
    }
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link_)));

    const Conversation read = readConversation(file_);
    ASSERT_FALSE(read.failure.happened()) << read.failure.reason();
    EXPECT_EQ(read.host, requests);
    EXPECT_EQ(read.device, answers);
    for (std::size_t i = 1; i < read.bursts.size(); ++i)
        EXPECT_GE(read.bursts[i].timeMicros, read.bursts[i - 1].timeMicros) << i;

    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed";
    ChildProcess process;
    const std::string decoded = dir_.file("tshark.out");
    ASSERT_TRUE(
        process.start(tshark,
                      {"-r", file_, "-d", "rtacser.data,mbrtu", "-T", "fields", "-E", "separator=|",
                       "-e", "frame.packet_flags_direction", "-e", "_ws.col.Info"},
                      decoded, dir_.file("tshark.err"), &why))
        << why;
    ASSERT_EQ(process.wait(milliseconds(120000)), 0);
    std::ifstream lines(decoded);
    std::string line, seen;
    while (std::getline(lines, line)) {
        const bool outbound = std::stoul(line, nullptr, 16) == 2;
        const bool query = line.find("Query") != std::string::npos;
        const bool response = line.find("Response") != std::string::npos;
        seen += outbound && query ? 'Q' : !outbound && response ? 'R' : '?';
    }
    EXPECT_EQ(seen, "QRQRQR");
}

TEST_F(MonitorCommandTest, ADeviceThatGoesAwayEndsItWithItsPortNamedAndTheFileKept) {
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
