#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/tests/MonitorTestSupport.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/ModbusTestDevice.h"

TEST_F(MonitorCliTest, MonitorTakesOnlyAPcapngOutputAndBothPorts) {
    const std::string serialFile = dir_.file("out.ser");
    EXPECT_EQ(runCli({"monitor", "--host-port", "A", "--device-port", "B", "-o", serialFile}), 2);
    EXPECT_NE(errors().find("must end in .pcapng"), std::string::npos) << errors();
    EXPECT_FALSE(std::filesystem::exists(serialFile));
    EXPECT_EQ(runCli({"monitor", "--host-port", "A", "-o", dir_.file("out.pcapng")}), 2);
    EXPECT_NE(errors().find("--device-port is needed"), std::string::npos) << errors();
}

// The pair's two ends as host and device side: with nothing said on either, --duration ends the
// run well, leaving a conversation file with its headers and no burst.
TEST_F(MonitorCliTest, MonitorForADurationLeavesAWholeFile) {
    device_.close();
    const std::string file = dir_.file("quiet.pcapng");
    ASSERT_EQ(runCli({"monitor", "--host-port", pair_.portName(), "--device-port",
                      pair_.devicePortName(), "-b", "115200", "-o", file, "--duration", "1"}),
              0)
        << errors();
    const Conversation read = readConversation(file);
    EXPECT_FALSE(read.failure.happened()) << read.failure.reason();
    EXPECT_TRUE(read.bursts.empty());
    EXPECT_NE(errors().find("host 0 bursts, 0 bytes; device 0 bursts, 0 bytes in " + file),
              std::string::npos)
        << errors();
}

// The test is the program on the first pair, a Modbus device answers on the second; Ctrl+C ends
// the run with the whole conversation in the file, which the outside reader decodes as queries
// and answers, each way.
TEST_F(MonitorCliTest, MonitorPassesModbusPollsAndRecordsTheirConversation) {
    SerialPair devicePair;
    std::string why;
    ASSERT_TRUE(devicePair.start(&why)) << why;
    ModbusTestDevice modbus;
    ASSERT_TRUE(modbus.start(devicePair.devicePortName(), job_.device, &why)) << why;
    const std::string file = dir_.file("modbus.pcapng");
    startCli({"monitor", "--host-port", pair_.portName(), "--device-port", devicePair.portName(),
              "-b", "115200", "-o", file, "--duration", "60"});
    ASSERT_TRUE(waitForError("monitoring")) << errors();
    const ModbusPolls polls = modbusPolls(3);
    for (std::size_t poll = 0; poll < polls.requests.size(); ++poll) {
        ASSERT_TRUE(sendFromDevice(polls.requests[poll]));
        EXPECT_EQ(joined(receiveAtDevice(polls.answers[poll].size(), milliseconds(10000))),
                  polls.answers[poll])
            << poll;
    }
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    const Conversation read = readConversation(file);
    ASSERT_FALSE(read.failure.happened()) << read.failure.reason();
    EXPECT_EQ(read.host, polls.allRequests());
    EXPECT_EQ(read.device, polls.allAnswers());
    for (std::size_t i = 1; i < read.bursts.size(); ++i)
        EXPECT_GE(read.bursts[i].timeMicros, read.bursts[i - 1].timeMicros) << i;

    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed (nor run from a Windows build)";
    ChildProcess process;
    const std::string decoded = dir_.file("tshark.out");
    ASSERT_TRUE(
        process.start(tshark,
                      {"-r", file, "-d", "rtacser.data,mbrtu", "-T", "fields", "-E", "separator=|",
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
