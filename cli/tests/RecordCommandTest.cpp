#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"

namespace {

std::vector<std::string> recordWords(const std::string& file, const std::vector<std::string>& port,
                                     std::vector<std::string> extra = {}) {
    std::vector<std::string> words = {"record", file};
    words.insert(words.end(), port.begin(), port.end());
    words.insert(words.end(), extra.begin(), extra.end());
    return words;
}

std::string dataOf(const Chunk& chunk) {
    return std::string(chunk.data, chunk.data + chunk.length);
}

}  // namespace

TEST_F(CliTest, RecordKeepsEachBurstAsAChunkAndCtrlCLeavesAWholeFile) {
    const std::string file = dir_.file("bursts.ser");
    startCli(recordWords(file, portWords(), {"--duration", "60"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    for (const char* burst : {"one", "two", "three"}) {
        ASSERT_TRUE(sendFromDevice(bytesOf(burst)));
        std::this_thread::sleep_for(milliseconds(400));
    }
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();

    const std::vector<Chunk> chunks = readSerialFile(file);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(dataOf(chunks[0]) + dataOf(chunks[1]) + dataOf(chunks[2]), "onetwothree");
    for (std::size_t i = 1; i < chunks.size(); ++i) {
        EXPECT_NEAR(chunks[i].timeOffset - chunks[i - 1].timeOffset, 4, 2);
    }
    // Nothing after the last chunk: every byte of the file belongs to a whole chunk.
    EXPECT_EQ(readWholeFile(file).size(), 3 * kChunkOverhead + 11);
}

// A dropped ssh connection, a closed console window or a log-off stops it as Ctrl+C does, while
// the device sends flat out: a program that died before closing its file would lose what it had
// not yet written out, or cut its last chunk.
class CliSessionEnd : public CliTest, public ::testing::WithParamInterface<SessionEnd> {};

TEST_P(CliSessionEnd, RecordKeepsAWholeFileWhenItsSessionEnds) {
    const std::string file = dir_.file("hangup.ser");
    startCli(recordWords(file, portWords(), {"--duration", "60"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    // Writes give up after a while: once the program has gone nothing reads them.
    SerialTimeouts timeouts{kSerialTimeoutMax, 0, 0, 0, 100};
    ASSERT_TRUE(device_.setTimeouts(&timeouts));
    std::atomic<bool> sending{true};
    std::thread device([&] {
        const std::vector<std::uint8_t> burst(255, 'z');
        while (sending.load()) sendFromDevice(burst);
    });
    std::this_thread::sleep_for(milliseconds(500));
    const bool ended = cli_.endSession(GetParam());
    const int status = ended ? exitStatus() : -1;
    sending.store(false);
    device.join();
    // Still running: it is killed on the way out, on a pair of the test's own.
    if (!ended) GTEST_SKIP() << "the session cannot be ended that way under a child here";
    {
        // What came after the program had gone would reach the next test on a shared pair:
        // read it away until the line is quiet.
        SerialPort port;
        ASSERT_TRUE(port.open(SerialPort::devicePath(pair_.portName()), 115200, 8, Parity::None,
                              StopBits::One));
        SerialTimeouts quiet{kSerialTimeoutMax, kSerialTimeoutMax, 100, 0, 0};
        port.setTimeouts(&quiet);
        std::uint8_t buffer[4096];
        std::uint32_t count = 0;
        for (auto end = TestClock::now() + milliseconds(10000);
             TestClock::now() < end && port.read(buffer, sizeof buffer, &count) && count > 0;) {
        }
    }
    // Windows ends the process itself once the handler has waited for the recording's end.
    if (status != static_cast<int>(0xC000013Au)) {
        EXPECT_EQ(status, 0) << errors();
    }
    // The command ended its recording itself: the file holds all that it counted, whole.
    const std::vector<Chunk> chunks = readSerialFile(file);
    ASSERT_FALSE(chunks.empty());
    std::size_t dataBytes = 0;
    for (const Chunk& chunk : chunks) dataBytes += chunk.length;
    EXPECT_EQ(readWholeFile(file).size(), chunks.size() * kChunkOverhead + dataBytes);
    EXPECT_NE(errors().find("veltrane-cli record: " + std::to_string(chunks.size()) + " chunks, " +
                            std::to_string(dataBytes) + " bytes in " + file),
              std::string::npos)
        << errors();
}

INSTANTIATE_TEST_SUITE_P(Endings, CliSessionEnd,
                         ::testing::Values(SessionEnd::ConsoleClosed, SessionEnd::LogOff),
                         [](const auto& endingOf) {
                             return endingOf.param == SessionEnd::LogOff ? "LogOff"
                                                                         : "ConsoleClosed";
                         });

TEST_F(CliTest, RecordStopsAfterSilence) {
    const std::string file = dir_.file("idle.ser");
    startCli(recordWords(file, portWords(), {"--idle-stop", "1"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("ping")));
    const auto sent = TestClock::now();
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_GE(msBetween(sent, TestClock::now()), 900);
    const std::vector<Chunk> chunks = readSerialFile(file);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(dataOf(chunks[0]), "ping");
}

TEST_F(CliTest, RecordOfADeviceThatGoesAwayFailsAndKeepsWhatCame) {
    const std::string file = dir_.file("lost.ser");
    startCli(recordWords(file, portWords()));
    ASSERT_TRUE(waitForRecording()) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("last words")));
    std::this_thread::sleep_for(milliseconds(300));
    if (!pair_.stop()) GTEST_SKIP() << "the serial pair is not this test's to end";
    ASSERT_EQ(exitStatus(), 1) << errors();
    const std::string said = errors();
    const std::string lastLine = said.substr(said.rfind('\n', said.size() - 2) + 1);
    EXPECT_EQ(lastLine.rfind("veltrane-cli record: port " + pair_.portName() + " failed: ", 0), 0u)
        << said;
    const std::vector<Chunk> chunks = readSerialFile(file);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(dataOf(chunks[0]), "last words");
}

TEST_F(CliTest, RecordIntoAConversationFileOfADeviceThatGoesAwayKeepsWhatCame) {
    const std::string file = dir_.file("lost.pcapng");
    startCli(recordWords(file, portWords()));
    ASSERT_TRUE(waitForRecording()) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("last words")));
    std::this_thread::sleep_for(milliseconds(300));
    if (!pair_.stop()) GTEST_SKIP() << "the serial pair is not this test's to end";
    ASSERT_EQ(exitStatus(), 1) << errors();
    EXPECT_NE(errors().find("failed: "), std::string::npos) << errors();
    EXPECT_NE(errors().find("10 bytes are kept in " + file), std::string::npos) << errors();
    ASSERT_EQ(runCli({"export", file, "--format", "raw"}), 0) << errors();
    EXPECT_EQ(output(), "last words");
}

// The one record and play under Wine too: through a Windows console program and COM ports.
TEST_F(CliTest, RecordForADurationThenPlayItBack) {
    const std::string file = dir_.file("round.ser");
    startCli(recordWords(file, portWords(), {"--duration", "2"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("round trip")));
    ASSERT_EQ(exitStatus(), 0) << errors();
    ASSERT_EQ(readSerialFile(file).size(), 1u);

    std::vector<std::string> play = {"play", file, "--quiet"};
    const auto port = portWords();
    play.insert(play.end(), port.begin(), port.end());
    startCli(play);
    EXPECT_EQ(joined(receiveAtDevice(10, milliseconds(20000))), bytesOf("round trip"));
    EXPECT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("chunks sent: 1\nbytes sent: 10\n"), std::string::npos) << output();
}

TEST_F(CliTest, RecordIntoAConversationFileKeepsMicrosecondTimesThatInfoAndExportRead) {
    const std::string file = dir_.file("device.pcapng");
    startCli(recordWords(file, portWords(), {"--duration", "60"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    for (const char* burst : {"one", "two", "three"}) {
        ASSERT_TRUE(sendFromDevice(bytesOf(burst)));
        std::this_thread::sleep_for(milliseconds(300));
    }
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();

    ASSERT_EQ(runCli({"info", file, "--json"}), 0) << errors();
    for (const char* field : {"\"host_bursts\": 0", "\"device_bursts\": 3", "\"device_bytes\": 11",
                              "\"requests\": 0"}) {
        EXPECT_NE(output().find(field), std::string::npos) << field << " in " << output();
    }
    ASSERT_EQ(runCli({"export", file, "--format", "ascii", "--no-heading"}), 0) << errors();
    const std::string lines = output();
    std::vector<double> times;
    for (const char* burst : {"one", "two", "three"}) {
        const auto end = lines.find(std::string(": device ") + burst + "\r\n");
        ASSERT_NE(end, std::string::npos) << lines;
        times.push_back(std::stod(lines.substr(lines.rfind('\n', end) + 1)));
    }
    // Kept to the microsecond, the spacing is the device's, not tenths of a second.
    EXPECT_NEAR(times[1] - times[0], 0.3, 0.05);
    EXPECT_NEAR(times[2] - times[1], 0.3, 0.05);
    EXPECT_TRUE(std::any_of(times.begin() + 1, times.end(),
                            [](double t) { return std::llround(t * 1e6) % 100'000 != 0; }))
        << "times rounded to tenths: " << lines;
}

// A meter on one port, a valve on another: one file, a port an interface, their bursts in the
// order they came; info and export tell each burst's port.
TEST_F(CliTest, RecordOfTwoPortsKeepsTheirBurstsInOneOrder) {
    SecondDevice valve;
    ASSERT_TRUE(valve.start());
    const std::string file = dir_.file("rig.pcapng");
    startCli(recordWords(file, portWords(), {"--port", valve.portName(), "--idle-stop", "1"}));
    ASSERT_TRUE(waitForRecording()) << errors();
    ASSERT_TRUE(sendFromDevice(bytesOf("meter 1")));
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_TRUE(valve.send("valve"));
    std::this_thread::sleep_for(milliseconds(200));
    ASSERT_TRUE(sendFromDevice(bytesOf("meter 2")));
    ASSERT_EQ(exitStatus(), 0) << errors();

    ConversationReader reader;
    ASSERT_FALSE(reader.open(file).happened());
    ASSERT_EQ(reader.interfaces().size(), 2u);
    EXPECT_EQ(reader.interfaces()[1].name, valve.portName());
    // A port's bytes in a row are one message however the reads split them.
    std::string seen;
    std::uint32_t last = 99;
    ConversationBurst burst;
    while (reader.next(burst)) {
        if (burst.interfaceIndex != last)
            seen += "|" + std::to_string(burst.interfaceIndex + 1) + ":";
        last = burst.interfaceIndex;
        seen += std::string(burst.bytes.begin(), burst.bytes.end());
    }
    EXPECT_EQ(seen, "|1:meter 1|2:valve|1:meter 2");

    ASSERT_EQ(runCli({"info", file}), 0) << errors();
    EXPECT_NE(output().find("interfaces:     2\ninterface 1:    " + pair_.portName()),
              std::string::npos)
        << output();
    EXPECT_NE(output().find("  bytes:        0 from the host, 5 from the device\n"),
              std::string::npos)
        << output();
    ASSERT_EQ(runCli({"export", file, "--format", "ascii"}), 0) << errors();
    EXPECT_NE(output().find("Time(seconds) Port From    Data...\r\n"), std::string::npos);
    EXPECT_NE(output().find(": 2    device valve\r\n"), std::string::npos) << output();
}
