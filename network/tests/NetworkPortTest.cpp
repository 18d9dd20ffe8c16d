// Network ports against each other over loopback: a served port and a client of each kind,
// with the served port read on a thread of its own as a run reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "network/ComPortSession.h"
#include "network/NetworkPort.h"
#include "network/NetworkPortName.h"
#include "network/TcpSocket.h"
#include "tests/support/PortReader.h"

namespace {

using namespace std::chrono_literals;

NetworkPortName nameOf(const std::string& text) {
    std::string reason;
    const auto name = parseNetworkPortName(text, &reason);
    EXPECT_TRUE(name) << text << ": " << reason;
    return name.value_or(NetworkPortName{});
}

DeviceSettings settingsOf(std::int32_t speed, std::int32_t dataBits, Parity parity,
                          StopBits stopBits) {
    DeviceSettings settings;
    settings.speed = speed;
    settings.dataBits = dataBits;
    settings.parity = parity;
    settings.stopBits = stopBits;
    return settings;
}

void writeAll(WaitablePort& port, const std::vector<std::uint8_t>& bytes) {
    std::uint32_t written = 0;
    ASSERT_TRUE(port.write(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written))
        << port.writeErrorText();
    ASSERT_EQ(written, bytes.size());
}

std::vector<std::uint8_t> everyByteTwice() {
    std::vector<std::uint8_t> bytes;
    for (int round = 0; round < 2; ++round) {
        for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<std::uint8_t>(value));
    }
    bytes.push_back(255);
    bytes.push_back(255);
    return bytes;
}

struct Served {
    NetworkPort port;
    std::string clientName;
    explicit Served(const std::string& scheme, const DeviceSettings& settings = {}) {
        EXPECT_TRUE(port.open(scheme + ":0", nameOf(scheme + ":0"), settings)) << port.errorText();
        const std::string client = scheme == "tcp-server" ? "tcp://" : "rfc2217://";
        clientName = client + "127.0.0.1:" + std::to_string(port.listeningPort());
    }
};

TEST(NetworkPortNameTest, TakesTheFourKindsAndRefusesWhatIsNotOne) {
    EXPECT_EQ(nameOf("rfc2217://device-server:4001").host, "device-server");
    EXPECT_TRUE(nameOf("rfc2217://[::1]:4001").telnet);
    EXPECT_EQ(nameOf("rfc2217://[::1]:4001").host, "::1");
    EXPECT_EQ(nameOf("tcp://10.0.0.5:7000/").port, 7000);
    EXPECT_EQ(nameOf("rfc2217-server:7001").host, "127.0.0.1");  // loopback unless named
    EXPECT_TRUE(nameOf("tcp-server:127.0.0.2:7002").serves);
    EXPECT_EQ(nameOf("tcp-server:127.0.0.2:7002").host, "127.0.0.2");
    for (const char* wrong : {"rfc2217://host", "tcp://:7000", "tcp://host:70000", "tcp://host:x",
                              "rfc2217-server:", "tcp://::1:7000", "COM3"}) {
        std::string reason;
        EXPECT_FALSE(parseNetworkPortName(wrong, &reason)) << wrong;
        EXPECT_FALSE(reason.empty()) << wrong;
    }
    EXPECT_FALSE(looksLikeNetworkPort("/dev/ttyUSB0"));
}

// Every byte value crosses both ways unchanged, 255 included, over either protocol.
TEST(NetworkPortTest, BytesCrossBothWaysUnchanged) {
    for (const std::string scheme : {"tcp-server", "rfc2217-server"}) {
        SCOPED_TRACE(scheme);
        Served served(scheme);
        PortReader server(served.port);
        NetworkPort client;
        ASSERT_TRUE(client.open(served.clientName, nameOf(served.clientName), {}))
            << client.errorText();
        PortReader clientReader(client);
        ASSERT_TRUE(server.waitUntil([&] { return served.port.connected(); }));
        const std::vector<std::uint8_t> bytes = everyByteTwice();
        writeAll(client, bytes);
        writeAll(served.port, bytes);
        EXPECT_TRUE(server.waitUntil([&] { return server.bytes().size() >= bytes.size(); }));
        EXPECT_TRUE(
            clientReader.waitUntil([&] { return clientReader.bytes().size() >= bytes.size(); }));
        EXPECT_EQ(server.bytes(), bytes);
        EXPECT_EQ(clientReader.bytes(), bytes);
    }
}

// The settings a client asks for are what the served port then holds, and its lines and
// breaks reach the server; the device's lines reach the client.
TEST(NetworkPortTest, Rfc2217CarriesSettingsAndLines) {
    Served served("rfc2217-server");
    PortReader server(served.port);
    NetworkPort client;
    const DeviceSettings asked = settingsOf(19200, 7, Parity::Even, StopBits::Two);
    ASSERT_TRUE(client.open(served.clientName, nameOf(served.clientName), asked))
        << client.errorText();
    // Applied as asked: nothing to remark on.
    EXPECT_TRUE(client.takeRemarks().empty());
    PortReader clientReader(client);

    ASSERT_TRUE(client.tellLineEvent({LineEventKind::ControlLines, control_line::kRts}));
    ASSERT_TRUE(client.tellLineEvent({LineEventKind::BreakStart}));
    const auto serverSaw = [&](LineEventKind kind) {
        for (const LineEvent& event : server.events()) {
            if (event.kind == kind) return true;
        }
        return false;
    };
    ASSERT_TRUE(server.waitUntil([&] { return serverSaw(LineEventKind::BreakStart); }));
    bool settingsSeen = false;
    for (const LineEvent& event : server.events()) {
        if (event.kind == LineEventKind::LineSettings && event.speed == 19200) settingsSeen = true;
        if (event.kind == LineEventKind::ControlLines && !(event.controlLines & control_line::kRts))
            ADD_FAILURE() << "RTS was set";
    }
    EXPECT_TRUE(settingsSeen);
    EXPECT_TRUE(serverSaw(LineEventKind::ControlLines));

    ASSERT_TRUE(served.port.tellLineEvent(
        {LineEventKind::ControlLines, control_line::kCts | control_line::kDsr}));
    ASSERT_TRUE(clientReader.waitUntil([&] { return !clientReader.events().empty(); }));
    const LineEvent told = clientReader.events().back();
    EXPECT_EQ(told.kind, LineEventKind::ControlLines);
    EXPECT_EQ(told.controlLines & control_line::kDeviceLines,
              control_line::kCts | control_line::kDsr);
}

// One program at a time; one that leaves is no failure, and the next is served.
TEST(NetworkPortTest, ServedPortTurnsASecondProgramAwayAndOutlivesTheFirst) {
    Served served("tcp-server");
    PortReader server(served.port);
    auto first = std::make_unique<NetworkPort>();
    ASSERT_TRUE(first->open(served.clientName, nameOf(served.clientName), {}));
    writeAll(*first, {1, 2, 3});
    ASSERT_TRUE(server.waitUntil([&] { return server.bytes().size() == 3; }));

    TcpSocket second;
    ASSERT_TRUE(second.connect("127.0.0.1", served.port.listeningPort(), 2000ms));
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    const bool closed =
        server.waitUntil([&] { return second.receive(&byte, 1, &got) == TcpSocket::Io::Closed; });
    EXPECT_TRUE(closed) << "the second program was not turned away";

    first.reset();  // leaves
    ASSERT_TRUE(server.waitUntil([&] { return !served.port.connected(); }));
    writeAll(served.port, {9, 9});  // nobody there: dropped, no failure
    NetworkPort third;
    ASSERT_TRUE(third.open(served.clientName, nameOf(served.clientName), {}));
    writeAll(third, {4});
    ASSERT_TRUE(server.waitUntil([&] { return server.bytes().size() == 4; }));
    EXPECT_FALSE(server.failed());
    const auto remarks = server.remarks();
    ASSERT_GE(remarks.size(), 4u);
    EXPECT_NE(remarks[1].find("turned away"), std::string::npos) << remarks[1];
    EXPECT_NE(remarks[2].find("left"), std::string::npos) << remarks[2];
}

// A connection we made that ends is a failure, after its last bytes were taken; a refused or
// mute server fails the open with the reason.
TEST(NetworkPortTest, ClientFailuresSayWhy) {
    auto served = std::make_unique<Served>("tcp-server");
    const std::string name = served->clientName;
    NetworkPort client;
    {
        PortReader server(served->port);
        ASSERT_TRUE(client.open(name, nameOf(name), {}));
        ASSERT_TRUE(server.waitUntil([&] { return served->port.connected(); }));
        writeAll(served->port, {7, 8});
    }
    served.reset();
    PortReader clientReader(client);
    ASSERT_TRUE(clientReader.waitUntil([&] { return clientReader.failed(); }));
    EXPECT_EQ(clientReader.bytes(), (std::vector<std::uint8_t>{7, 8}));
    EXPECT_NE(std::string(client.errorText()).find("closed"), std::string::npos);

    NetworkPort refused;
    EXPECT_FALSE(refused.open(name, nameOf(name), {}));
    EXPECT_FALSE(std::string(refused.errorText()).empty());

    // A raw server answers no Telnet: the RFC 2217 client gives up after the answer timeout.
    Served mute("tcp-server");
    PortReader muteReader(mute.port);
    const std::string asTelnet = "rfc2217://127.0.0.1:" + std::to_string(mute.port.listeningPort());
    NetworkPort telnet;
    NetworkPort::Timeouts quick;
    quick.answer = 300ms;
    EXPECT_FALSE(telnet.open(asTelnet, nameOf(asTelnet), {}, quick));
    EXPECT_NE(std::string(telnet.errorText()).find("no Telnet answer"), std::string::npos)
        << telnet.errorText();
}

}  // namespace

namespace {

// A peer that never ends a sub-negotiation, floods commands and unknown options and sends far
// faster than the port is read: the served port stays up, bounded, and still carries the bytes.
TEST(NetworkPortTest, AHostilePeerCannotHoldTheServedPort) {
    Served served("rfc2217-server");
    TcpSocket peer;
    ASSERT_TRUE(peer.connect("127.0.0.1", served.port.listeningPort(), 2000ms));
    std::vector<std::uint8_t> hostile = {telnet::kIac, telnet::kSb, telnet::kComPortOption};
    hostile.insert(hostile.end(), 100000, 0x41);  // a sub-negotiation that never ends
    for (int i = 0; i < 20000; ++i) {
        hostile.insert(hostile.end(), {telnet::kIac, telnet::kDo, 99, telnet::kIac, telnet::kWill,
                                       98, telnet::kIac, 241});
    }
    hostile.insert(hostile.end(), {'o', 'k', telnet::kIac});  // a command cut at the piece's end
    std::uint32_t sent = 0;
    std::size_t at = 0;
    while (at < hostile.size()) {  // the server reads only later: the socket fills
        const auto io =
            peer.send(hostile.data() + at, static_cast<std::uint32_t>(hostile.size() - at), &sent);
        at += sent;
        if (io == TcpSocket::Io::WouldBlock) break;
        ASSERT_EQ(io, TcpSocket::Io::Done);
    }
    PortReader server(served.port);
    while (at < hostile.size()) {
        ASSERT_TRUE(peer.waitForRoom(5000ms));
        peer.send(hostile.data() + at, static_cast<std::uint32_t>(hostile.size() - at), &sent);
        at += sent;
    }
    const std::uint8_t end[] = {241, '!'};  // the cut command ends: a no-operation
    ASSERT_EQ(peer.send(end, sizeof end, &sent), TcpSocket::Io::Done);
    ASSERT_TRUE(server.waitUntil([&] { return server.bytes().size() >= 3; }));
    EXPECT_EQ(server.bytes(), (std::vector<std::uint8_t>{'o', 'k', '!'}));
    EXPECT_FALSE(server.failed());
    // Refused once each, not once per request: the answers stay few.
    std::vector<std::uint8_t> answers(65536);
    std::uint32_t got = 0;
    std::size_t total = 0;
    while (peer.receive(answers.data(), static_cast<std::uint32_t>(answers.size()), &got) ==
           TcpSocket::Io::Done)
        total += got;
    EXPECT_LT(total, 200u);
    // The faults are told, a few times and no more.
    EXPECT_LE(server.remarks().size(), 8u);
}

}  // namespace
