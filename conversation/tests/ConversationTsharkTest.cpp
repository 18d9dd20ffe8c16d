#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "conversation/ConversationReader.h"
#include "conversation/ConversationWriter.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ModbusRtu.h"
#include "tests/support/TempDir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, separator)) parts.push_back(part);
    return parts;
}

// "1700000000.123456000" as microseconds; anything finer than a microsecond must be zero.
std::uint64_t micros(const std::string& epoch) {
    const auto dot = epoch.find('.');
    std::string fraction = epoch.substr(dot + 1);
    EXPECT_EQ(fraction.find_first_not_of('0', 6), std::string::npos) << epoch;
    fraction.resize(6, '0');
    return std::stoull(epoch.substr(0, dot)) * 1'000'000 + std::stoull(fraction);
}

// A Modbus RTU master polling a slave, as the monitor records it; tshark, reading it with the
// RTAC payload decoded as Modbus RTU, must see each query and response, their directions and
// their times to the microsecond.
TEST(ConversationTshark, DecodesAModbusConversationAsQueriesAndResponses) {
    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty() || !std::filesystem::exists(tshark))
        GTEST_SKIP() << "tshark is not installed (nor run from a Windows build)";
    TempDir dir;
    const std::string path = dir.file("modbus.pcapng");
    struct Sent {
        std::uint64_t time;
        Direction direction;
        Bytes bytes;
    };
    std::vector<Sent> sent;
    std::uint64_t time = 1'765'000'000'123'457;
    for (std::uint16_t poll = 0; poll < 4; ++poll) {
        const std::uint8_t unit = static_cast<std::uint8_t>(1 + poll % 2);
        const std::uint16_t count = static_cast<std::uint16_t>(1 + poll);
        sent.push_back({time, Direction::Host,
                        modbus_rtu::readHoldingRegistersQuery(unit, 100 * poll, count)});
        std::vector<std::uint16_t> values;
        for (std::uint16_t i = 0; i < count; ++i)
            values.push_back(static_cast<std::uint16_t>(0xA000 + poll * 16 + i));
        sent.push_back({time + 4'321 + poll, Direction::Device,
                        modbus_rtu::readHoldingRegistersResponse(unit, values)});
        time += 250'017;
    }
    ConversationWriter writer;
    ASSERT_FALSE(
        writer.open(path, {"Veltrane-cli test", {{"/dev/ttyUSB0", "19200 8E1"}}}).happened());
    for (const Sent& s : sent)
        ASSERT_FALSE(writer.write({s.time, s.direction, 0, s.bytes}).happened());
    ASSERT_FALSE(writer.close().happened());

    ChildProcess process;
    std::string why;
    const std::string out = dir.file("tshark.out");
    ASSERT_TRUE(process.start(tshark, {"-r", path,
                                       "-d", "rtacser.data,mbrtu",
                                       "-T", "fields",
                                       "-E", "separator=|",
                                       "-e", "frame.time_epoch",
                                       "-e", "frame.packet_flags_direction",
                                       "-e", "frame.interface_name",
                                       "-e", "mbrtu.unit_id",
                                       "-e", "modbus.func_code",
                                       "-e", "_ws.col.Info",
                                       "-e", "mbrtu.crc16.status"},
                              out, dir.file("tshark.err"), &why))
        << why;
    ASSERT_EQ(process.wait(std::chrono::seconds(120)), 0);
    std::ifstream lines(out);
    std::string line;
    std::size_t index = 0;
    while (std::getline(lines, line)) {
        ASSERT_LT(index, sent.size()) << line;
        const Sent& s = sent[index];
        const auto fields = split(line, '|');
        ASSERT_EQ(fields.size(), 7u) << line;
        const bool host = s.direction == Direction::Host;
        EXPECT_EQ(micros(fields[0]), s.time) << line;
        EXPECT_EQ(std::stoul(fields[1], nullptr, 16), host ? 2u : 1u) << line;  // outbound, inbound
        EXPECT_EQ(fields[2], "/dev/ttyUSB0");
        EXPECT_EQ(fields[3], std::to_string(s.bytes[0])) << line;
        EXPECT_EQ(fields[4], "3") << line;
        const std::string info = fields[5].substr(fields[5].find_first_not_of(' '));
        EXPECT_EQ(info.rfind(host ? "Query" : "Response", 0), 0u) << line;
        EXPECT_EQ(fields[6], "2") << line;  // the CRC is right
        ++index;
    }
    EXPECT_EQ(index, sent.size());
}

// What the line did, each as its own packet: tshark must show the RTAC event type that means it,
// the control lines after it, who did it and the comment that says what the type cannot.
TEST(ConversationTshark, ShowsTheLineEventsAsRtacEventsWithTheirLinesAndComments) {
    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty() || !std::filesystem::exists(tshark))
        GTEST_SKIP() << "tshark is not installed (nor run from a Windows build)";
    TempDir dir;
    const std::string path = dir.file("lines.pcapng");
    using enum LineEventKind;
    namespace lines = control_line;
    const std::uint8_t host = lines::kRts | lines::kDtr;
    const std::uint8_t both = host | lines::kCts | lines::kDsr;
    const struct {
        Direction who;
        std::uint8_t controlLines;
        LineEvent event;
        const char* shown;  // event type, CTS, DSR, RTS, DTR, direction, comment
    } events[] = {
        {Direction::Host, 0, {ControlLines, host}, "0x00|0|0|1|1|2|"},
        {Direction::Device, host, {ControlLines, both}, "0x00|1|1|1|1|1|"},
        {Direction::Host, both, {BreakStart}, "0x09|1|1|1|1|2|break start"},
        {Direction::Host, both, {BreakEnd}, "0x09|1|1|1|1|2|break end"},
        {Direction::Device, lines::kDtr, {FramingError}, "0x07|0|0|0|1|1|"},
        {Direction::Device, lines::kCts, {ParityError}, "0x08|1|0|0|0|1|"},
        {Direction::Host,
         both,
         {LineSettings, 0, 19200, 8, Parity::Even},
         "0x00|1|1|1|1|2|line settings: 19200 8E1"},
        {Direction::Host,
         both,
         {LineSettings, 0, 9600},
         "0x00|1|1|1|1|2|line settings: speed 9600"},
        {Direction::Device,
         both,
         {.kind = DataLost, .awayMicros = 2'345'000},
         "0x05|1|1|1|1|1|port away for 2.345 s"},
    };
    // Two ports on one clock: the events take turns, and tshark names each one's port.
    const std::vector<ConversationInterface> ports{{"/dev/ttyUSB0", "9600 8N1"},
                                                   {"/dev/ttyUSB1", "19200 8E1"}};
    ConversationWriter writer;
    ASSERT_FALSE(writer.open(path, {"Veltrane-cli test", ports}).happened());
    std::uint64_t time = 1'765'000'000'000'000;
    std::uint32_t port = 0;
    for (const auto& e : events) {
        ASSERT_FALSE(
            writer.writeLineEvent(time++, e.who, e.controlLines, e.event, port++ % 2).happened());
    }
    ASSERT_FALSE(writer.close().happened());

    ChildProcess process;
    std::string why;
    const std::string out = dir.file("tshark.out");
    std::vector<std::string> arguments{"-r", path, "-T", "fields", "-E", "separator=|"};
    for (const char* field :
         {"rtacser.eventtype", "rtacser.cts", "rtacser.dsr", "rtacser.rts", "rtacser.dtr",
          "frame.packet_flags_direction", "frame.comment", "frame.interface_name"}) {
        arguments.push_back("-e");
        arguments.push_back(field);
    }
    ASSERT_TRUE(process.start(tshark, arguments, out, dir.file("tshark.err"), &why)) << why;
    ASSERT_EQ(process.wait(std::chrono::seconds(120)), 0);
    std::ifstream shown(out);
    std::string line;
    port = 0;
    for (const auto& e : events) {
        ASSERT_TRUE(std::getline(shown, line)) << e.shown;
        auto fields = split(line, '|');
        ASSERT_EQ(fields.size(), 8u) << line;
        fields[5] = std::to_string(std::stoul(fields[5], nullptr, 16));  // 0x00000002: outbound
        std::string joined;
        for (std::size_t i = 0; i < 7; ++i) joined += (i ? "|" : "") + fields[i];
        EXPECT_EQ(joined, e.shown);
        EXPECT_EQ(fields[7], ports[port++ % 2].name);
    }
    EXPECT_FALSE(std::getline(shown, line)) << line;
}

// Simple packet blocks, written out byte by byte: little-endian section; interface 0 with link
// type 250 and a snapshot length of 15; four simple packets, their RTAC headers timed
// 1765000000.123457 (the host's 01 03 00 00, original length 16: cut to 15), 1765000000.127778
// (the device's 01 83 02), 1765000001.000005 (a status change, no data) and 1765000001.500000
// (the host's 5a). tshark must see the same packets as our reader.
TEST(ConversationTshark, ReadsSimplePacketsAsOurReaderDoes) {
    const std::string tshark = VELTRANE_TSHARK;
    if (tshark.empty() || !std::filesystem::exists(tshark))
        GTEST_SKIP() << "tshark is not installed (nor run from a Windows build)";
    const char* const kGolden =
        "0a0d0d0a1c0000004d3c2b1a01000000ffffffffffffffff1c00000001000000"
        "14000000fa0000000f000000140000000300000020000000100000006933c340"
        "0001e24101000000010300002000000003000000200000000f0000006933c340"
        "0001f322020000000183020020000000030000001c0000000c0000006933c341"
        "00000005000000001c00000003000000200000000d0000006933c3410007a120"
        "010000005a00000020000000";
    Bytes golden;
    for (const char* hex = kGolden; *hex; hex += 2)
        golden.push_back(static_cast<std::uint8_t>(std::stoul(std::string(hex, 2), nullptr, 16)));
    TempDir dir;
    const std::string path = dir.file("simple.pcapng");
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(golden.data(), 1, golden.size(), file), golden.size());
    ASSERT_EQ(std::fclose(file), 0);

    // "time|event|bytes" per data packet, as each reader gives them.
    std::vector<std::string> ours;
    ConversationReader reader;
    ASSERT_FALSE(reader.open(path).happened());
    ConversationBurst burst;
    while (reader.next(burst)) {
        char line[64];
        std::snprintf(line, sizeof line, "%llu.%06llu|0x0%d|",
                      static_cast<unsigned long long>(burst.timeMicros / 1'000'000),
                      static_cast<unsigned long long>(burst.timeMicros % 1'000'000),
                      burst.direction == Direction::Host ? 1 : 2);
        std::string text = line;
        for (const std::uint8_t byte : burst.bytes) {
            std::snprintf(line, sizeof line, "%02x", byte);
            text += line;
        }
        ours.push_back(text);
    }
    EXPECT_FALSE(reader.failure().happened()) << reader.failure().reason();
    EXPECT_EQ(ours.size(), 3u);

    ChildProcess process;
    std::string why;
    const std::string out = dir.file("tshark.out");
    ASSERT_TRUE(process.start(tshark,
                              {"-r", path, "-T", "fields", "-E", "separator=|", "-e",
                               "rtacser.timestamp", "-e", "rtacser.eventtype", "-e", "data.data"},
                              out, dir.file("tshark.err"), &why))
        << why;
    ASSERT_EQ(process.wait(std::chrono::seconds(120)), 0);
    std::vector<std::string> theirs;
    std::ifstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto fields = split(line, '|');
        ASSERT_GE(fields.size(), 2u) << line;
        if (fields[1] != "0x01" && fields[1] != "0x02") continue;  // no data: passed over
        const std::uint64_t time = micros(fields[0]);
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%llu.%06llu",
                      static_cast<unsigned long long>(time / 1'000'000),
                      static_cast<unsigned long long>(time % 1'000'000));
        theirs.push_back(std::string(stamp) + "|" + fields[1] + "|" +
                         (fields.size() > 2 ? fields[2] : ""));
    }
    EXPECT_EQ(ours, theirs);
}

}  // namespace
