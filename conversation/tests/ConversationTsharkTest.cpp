#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    ASSERT_FALSE(writer.open(path, {"Veltrane-cli test", "/dev/ttyUSB0", "19200 8E1"}).happened());
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

}  // namespace
