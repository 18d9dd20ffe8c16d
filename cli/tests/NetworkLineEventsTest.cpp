// What a device server tells of its line (modem lines, breaks) is recorded beside the bytes,
// shown by tshark, and played back over RFC 2217: breaks to a device server, the device's
// lines to a program that the stand-in serves.
#include <fstream>
#include <sstream>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"
#include "network/NetworkPort.h"
#include "network/NetworkPortName.h"
#include "tests/support/PortReader.h"

namespace {

// A device server of the test's own on loopback, read on a thread of its own.
struct DeviceServer {
    NetworkPort port;
    std::string url;
    std::unique_ptr<PortReader> reader;
    bool open() {
        std::string reason;
        const auto name = parseNetworkPortName("rfc2217-server:0", &reason);
        if (!name || !port.open("device server", *name, {})) return false;
        url = "rfc2217://127.0.0.1:" + std::to_string(port.listeningPort());
        reader = std::make_unique<PortReader>(port);
        return true;
    }
};

bool hasEvent(const std::vector<LineEvent>& events, LineEventKind kind, std::uint8_t lines = 0) {
    for (const LineEvent& event : events) {
        if (event.kind == kind && (event.controlLines & lines) == lines) return true;
    }
    return false;
}

class NetworkLineEvents : public CliTest {
protected:
    // Starts respond on the file, served over RFC 2217, and connects to it as a program would.
    ::testing::AssertionResult standInFor(const std::string& file, NetworkPort& program) {
        startCli({"respond", file, "--port", "rfc2217-server:0", "--duration", "10"});
        std::string url;
        for (int i = 0; i < 500 && url.empty(); ++i) {
            std::this_thread::sleep_for(milliseconds(20));
            std::istringstream(output()) >> url;
        }
        std::string reason;
        const auto name = parseNetworkPortName(url, &reason);
        if (!name) return ::testing::AssertionFailure() << "'" << url << "': " << errors();
        if (!program.open(url, *name, {}))
            return ::testing::AssertionFailure() << program.errorText();
        return ::testing::AssertionSuccess();
    }
};

TEST_F(NetworkLineEvents, AreRecordedShownByTsharkAndPlayedBack) {
    const std::string file = dir_.file("lines.pcapng");
    const std::uint8_t ctsDsr = control_line::kCts | control_line::kDsr;
    {
        DeviceServer device;
        ASSERT_TRUE(device.open()) << device.port.errorText();
        startCli({"record", file, "--port", device.url, "--duration", "3"});
        ASSERT_TRUE(device.reader->waitUntil([&] { return device.port.connected(); }));
        ASSERT_TRUE(waitForRecording()) << errors();
        ASSERT_TRUE(device.port.tellLineEvent({LineEventKind::ControlLines, ctsDsr}));
        ASSERT_TRUE(device.port.tellLineEvent({LineEventKind::BreakStart}));
        std::uint32_t written = 0;
        ASSERT_TRUE(device.port.write("abc", 3, &written));
        ASSERT_TRUE(device.port.tellLineEvent({LineEventKind::BreakEnd}));
        ASSERT_EQ(exitStatus(), 0) << errors();
    }

    ConversationReader reader;
    ASSERT_FALSE(reader.open(file).happened());
    reader.keepLineEvents(true);
    std::vector<LineEvent> events;
    std::string data;
    std::uint8_t dataLines = 0;
    for (ConversationBurst burst; reader.next(burst);) {
        EXPECT_EQ(burst.direction, Direction::Device);
        if (burst.lineEvent) events.push_back(*burst.lineEvent);
        data.append(burst.bytes.begin(), burst.bytes.end());
        if (!burst.bytes.empty()) dataLines = burst.controlLines;
    }
    EXPECT_EQ(data, "abc");
    EXPECT_EQ(dataLines & control_line::kDeviceLines, ctsDsr);
    EXPECT_TRUE(hasEvent(events, LineEventKind::ControlLines, ctsDsr));
    EXPECT_TRUE(hasEvent(events, LineEventKind::BreakStart));
    EXPECT_TRUE(hasEvent(events, LineEventKind::BreakEnd));

    // Played to a device server: its bytes and its breaks.
    {
        DeviceServer device;
        ASSERT_TRUE(device.open()) << device.port.errorText();
        ASSERT_EQ(runCli({"play", file, "--port", device.url}), 0) << errors();
        EXPECT_TRUE(device.reader->waitUntil([&] { return device.reader->bytes().size() == 3; }));
        const auto told = device.reader->events();
        EXPECT_TRUE(hasEvent(told, LineEventKind::BreakStart));
        EXPECT_TRUE(hasEvent(told, LineEventKind::BreakEnd));
    }

    // Stood in for, served: a program that connects is told the device's lines.
    NetworkPort program;
    ASSERT_TRUE(standInFor(file, program));
    PortReader programReader(program);
    EXPECT_TRUE(programReader.waitUntil(
        [&] { return hasEvent(programReader.events(), LineEventKind::ControlLines, ctsDsr); }));
    cli_.interrupt();

    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty()) GTEST_SKIP() << "tshark is not installed (nor run from a Windows build)";
    ChildProcess process;
    std::string why;
    ASSERT_TRUE(process.start(tshark,
                              {"-r", file, "-T", "fields", "-E", "separator=|", "-e",
                               "rtacser.eventtype", "-e", "rtacser.cts", "-e", "rtacser.dsr"},
                              dir_.file("tshark.out"), dir_.file("tshark.err"), &why))
        << why;
    ASSERT_EQ(process.wait(milliseconds(120000)), 0);
    std::ifstream lines(dir_.file("tshark.out"));
    std::string shown, line;
    while (std::getline(lines, line)) shown += line + "\n";
    EXPECT_NE(shown.find("0x00|1|1"), std::string::npos) << shown;  // the status change
    EXPECT_NE(shown.find("0x09|"), std::string::npos) << shown;     // the break
    EXPECT_NE(shown.find("0x02|1|1"), std::string::npos) << shown;  // data, with the lines
}

}  // namespace

namespace {

// ask tells the device what the host did to the line before each request, and reports where the
// device's lines after an answer were not as recorded.
TEST_F(NetworkLineEvents, AskReplaysTheHostsLinesAndComparesTheDevices) {
    const std::string file = dir_.file("asked.pcapng");
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "9600 8N1"}}}).happened());
        const std::uint64_t start = 1'700'000'000'000'000;
        ASSERT_FALSE(writer
                         .writeLineEvent(start, Direction::Host, control_line::kRts,
                                         {LineEventKind::ControlLines, control_line::kRts})
                         .happened());
        ASSERT_FALSE(writer.write({start + 1000, Direction::Host, 0, bytesOf("Q")}).happened());
        const std::uint8_t recorded = control_line::kCts | control_line::kDsr;
        ASSERT_FALSE(writer
                         .writeLineEvent(start + 2000, Direction::Device, recorded,
                                         {LineEventKind::ControlLines, recorded})
                         .happened());
        ASSERT_FALSE(writer.write({start + 3000, Direction::Device, 0, bytesOf("A")}).happened());
        ASSERT_FALSE(writer.close().happened());
    }
    DeviceServer device;
    ASSERT_TRUE(device.open()) << device.port.errorText();
    startCli({"ask", file, "--port", device.url, "--timeout", "2000"});
    ASSERT_TRUE(device.reader->waitUntil([&] { return device.reader->bytes().size() == 1; }))
        << errors();
    // Only CTS, where the recording has CTS and DSR.
    ASSERT_TRUE(device.port.tellLineEvent({LineEventKind::ControlLines, control_line::kCts}));
    std::uint32_t written = 0;
    ASSERT_TRUE(device.port.write("A", 1, &written));
    EXPECT_EQ(exitStatus(), 1) << output() << errors();
    EXPECT_NE(output().find("the device's lines were CTS, expected CTS DSR"), std::string::npos)
        << output();
    EXPECT_NE(output().find("line states differing: 1"), std::string::npos) << output();
    // The host's DTR dropped and RTS kept, as recorded, before the request.
    const auto told = device.reader->events();
    bool dtrDropped = false;
    for (const LineEvent& event : told) {
        if (event.kind == LineEventKind::ControlLines &&
            (event.controlLines & control_line::kHostLines) == control_line::kRts)
            dtrDropped = true;
    }
    EXPECT_TRUE(dtrDropped);
}

}  // namespace

namespace {

// The stand-in plays the device's line changes that follow an answer's first burst at their
// recorded delays, with the answer.
TEST_F(NetworkLineEvents, RespondPlaysTheDevicesLineChangesWithItsAnswers) {
    const std::string file = dir_.file("answered.pcapng");
    const std::uint8_t before = control_line::kCts;
    const std::uint8_t after = control_line::kCts | control_line::kDsr;
    {
        ConversationWriter writer;
        ASSERT_FALSE(writer.open(file, {"test", {{"a <-> b", "9600 8N1"}}}).happened());
        const std::uint64_t start = 1'700'000'000'000'000;
        ASSERT_FALSE(writer
                         .writeLineEvent(start, Direction::Device, before,
                                         {LineEventKind::ControlLines, before})
                         .happened());
        ASSERT_FALSE(
            writer.write({start + 1000, Direction::Host, before, bytesOf("Q")}).happened());
        ASSERT_FALSE(
            writer.write({start + 2000, Direction::Device, before, bytesOf("A")}).happened());
        ASSERT_FALSE(writer
                         .writeLineEvent(start + 3000, Direction::Device, after,
                                         {LineEventKind::ControlLines, after})
                         .happened());
        ASSERT_FALSE(writer.close().happened());
    }
    NetworkPort program;
    ASSERT_TRUE(standInFor(file, program));
    PortReader reader(program);
    ASSERT_TRUE(reader.waitUntil([&] { return !reader.events().empty(); }));
    EXPECT_EQ(reader.events().back().controlLines & control_line::kDeviceLines, before);
    std::uint32_t written = 0;
    ASSERT_TRUE(program.write("Q", 1, &written));
    ASSERT_TRUE(reader.waitUntil([&] { return reader.bytes().size() == 1; }));
    EXPECT_EQ(reader.bytes(), bytesOf("A"));
    EXPECT_TRUE(reader.waitUntil([&] {
        return (reader.events().back().controlLines & control_line::kDeviceLines) == after;
    }));
    cli_.interrupt();
}

}  // namespace
