#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "network/ComPortSession.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = ComPortNotice::Kind;
using namespace telnet;

constexpr std::uint8_t kComPort = kComPortOption;

// Feeds bytes to a session in pieces of the given size (0: all at once).
void feed(ComPortSession& session, const Bytes& bytes, std::size_t piece, Bytes* line) {
    const std::size_t step = piece ? piece : std::max<std::size_t>(bytes.size(), 1);
    for (std::size_t at = 0; at < bytes.size(); at += step)
        session.receive(std::span(bytes).subspan(at, std::min(step, bytes.size() - at)), line);
}

std::vector<Kind> kindsOf(const std::vector<ComPortNotice>& notices) {
    std::vector<Kind> kinds;
    for (const ComPortNotice& notice : notices) kinds.push_back(notice.kind);
    return kinds;
}

std::vector<LineEvent> linesOf(const std::vector<ComPortNotice>& notices) {
    std::vector<LineEvent> lines;
    for (const ComPortNotice& notice : notices)
        if (notice.kind == Kind::Line) lines.push_back(notice.line);
    return lines;
}

LineEvent event(LineEventKind kind, std::uint8_t controlLines = 0) {
    LineEvent line;
    line.kind = kind;
    line.controlLines = controlLines;
    return line;
}

// A client and a server, each one's outgoing fed to the other in pieces of one size.
class BackToBack : public testing::TestWithParam<std::size_t> {
protected:
    void pump() {
        while (client.hasOutgoing() || server.hasOutgoing()) {
            feed(server, client.takeOutgoing(), GetParam(), &serverLine);
            feed(client, server.takeOutgoing(), GetParam(), &clientLine);
        }
    }
    void agree() {
        client.start();
        server.start();
        pump();
        ASSERT_TRUE(client.comPortAgreed() && server.comPortAgreed());
        ASSERT_EQ(kindsOf(client.takeNotices()), std::vector{Kind::ComPortAnswer});
        ASSERT_EQ(kindsOf(server.takeNotices()), std::vector{Kind::ComPortAnswer});
    }
    ComPortSession client{ComPortRole::Client};
    ComPortSession server{ComPortRole::Server};
    Bytes clientLine, serverLine;
};

TEST_P(BackToBack, AgreesSetsTheLineAndReadsItBack) {
    // Asked before the server agreed: held, then sent once it has.
    client.start();
    client.askLineSettings({"", 19200, 7, Parity::Even, StopBits::Two});
    server.start();
    pump();
    EXPECT_TRUE(client.comPortAgreed() && server.comPortAgreed());

    const DeviceSettings& held = server.heldSettings();
    EXPECT_EQ(held.speed, 19200);
    EXPECT_EQ(held.dataBits, 7);
    EXPECT_EQ(held.parity, Parity::Even);
    EXPECT_EQ(held.stopBits, StopBits::Two);
    const auto serverNotices = server.takeNotices();
    ASSERT_EQ(kindsOf(serverNotices),
              (std::vector{Kind::ComPortAnswer, Kind::Line, Kind::Line, Kind::Line, Kind::Line}));
    const auto asked = linesOf(serverNotices);
    // Each notice carries only the setting asked.
    EXPECT_EQ(asked[0].speed, 19200);
    EXPECT_EQ(asked[0].dataBits, 0);
    EXPECT_EQ(asked[1].dataBits, 7);
    EXPECT_EQ(asked[1].speed, 0);
    EXPECT_EQ(asked[2].parity, Parity::Even);
    EXPECT_EQ(asked[3].stopBits, StopBits::Two);

    // Values the enums cannot name go out as 0, the option's question for the value held.
    client.takeNotices();
    client.askLineSettings({"", 0, 0, static_cast<Parity>(9), static_cast<StopBits>(9)});
    pump();
    const auto answers = client.takeNotices();
    ASSERT_EQ(answers.size(), 4u);
    const std::pair<ComPortSetting, std::uint32_t> expected[] = {{ComPortSetting::Speed, 19200},
                                                                 {ComPortSetting::DataBits, 7},
                                                                 {ComPortSetting::Parity, 3},
                                                                 {ComPortSetting::StopBits, 2}};
    for (std::size_t i = 0; i < answers.size(); ++i) {
        EXPECT_EQ(answers[i].kind, Kind::Applied);
        EXPECT_EQ(answers[i].setting, expected[i].first);
        EXPECT_EQ(answers[i].value, expected[i].second);
    }
    EXPECT_TRUE(server.takeNotices().empty());  // a question changes nothing
}

TEST_P(BackToBack, HostLinesAndBreakReachTheServer) {
    agree();
    for (std::uint8_t value : {com_port::kDtrOff, com_port::kRtsOff, com_port::kBreakOn,
                               com_port::kBreakOff, com_port::kRtsOn})
        client.askControl(value);
    pump();
    EXPECT_EQ(linesOf(server.takeNotices()),
              (std::vector{event(LineEventKind::ControlLines, control_line::kRts),
                           event(LineEventKind::ControlLines, 0), event(LineEventKind::BreakStart),
                           event(LineEventKind::BreakEnd),
                           event(LineEventKind::ControlLines, control_line::kRts)}));
    EXPECT_EQ(server.hostLines(), control_line::kRts);
    EXPECT_EQ(client.hostLines(), control_line::kRts);
    const auto acks = client.takeNotices();
    ASSERT_EQ(acks.size(), 5u);
    EXPECT_EQ(acks[2].setting, ComPortSetting::Control);
    EXPECT_EQ(acks[2].value, com_port::kBreakOn);
}

TEST_P(BackToBack, DeviceLinesReachTheClientWithTheirDeltas) {
    using namespace control_line;
    agree();
    const struct {
        std::uint8_t lines;
        std::uint8_t notify;  // state bits, then delta bits
    } steps[] = {{kCts | kDsr, 0x30 | 0x03},
                 {kDsr | kRing, 0x60 | 0x01},
                 {kDsr, 0x20 | 0x04},
                 {kDsr | kDcd, 0xA0 | 0x08}};
    for (const auto& step : steps) {
        server.tellModemLines(step.lines);
        const Bytes sent = server.takeOutgoing();
        EXPECT_EQ(sent, (Bytes{kIac, kSb, kComPort, 107, step.notify, kIac, kSe}));
        feed(client, sent, GetParam(), &clientLine);
        EXPECT_EQ(linesOf(client.takeNotices()),
                  std::vector{event(LineEventKind::ControlLines, step.lines | kDtr | kRts)});
    }
    server.tellModemLines(kDsr | kDcd);  // nothing changed: nothing to tell
    EXPECT_FALSE(server.hasOutgoing());

    // The masks: only DSR's state, and breaks; a break's end goes even though it shows as 0.
    client.askNotifyMasks(com_port::kLineBreak, com_port::kModemDsr);
    pump();
    server.tellModemLines(kDsr | kCts);
    EXPECT_FALSE(server.hasOutgoing());
    server.tellLineState(com_port::kLineBreak | com_port::kLineFraming);
    server.tellLineState(com_port::kLineFraming);
    server.tellLineState(com_port::kLineFraming);
    pump();
    EXPECT_EQ(linesOf(client.takeNotices()),
              (std::vector{event(LineEventKind::BreakStart), event(LineEventKind::BreakEnd)}));
}

TEST_P(BackToBack, LineBytesCrossUnchanged) {
    Bytes all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<std::uint8_t>(i));
    all.insert(all.end(), {255, 255, 255, 13, 0, 13, 10, 13, 255, 240, 255, 250, 13});
    // Before the options settle (a lone CR travels as CR NUL) and after (BINARY).
    for (int round = 0; round < 2; ++round) {
        if (round == 1) agree();
        client.sendLineBytes(all);
        server.sendLineBytes(all);
        pump();
        EXPECT_EQ(serverLine, all);
        EXPECT_EQ(clientLine, all);
        serverLine.clear();
        clientLine.clear();
    }
    client.sendLineBytes(Bytes{13, 0, 255});
    EXPECT_EQ(client.takeOutgoing(), (Bytes{13, 0, 255, 255}));  // BINARY leaves CR NUL alone
}

INSTANTIATE_TEST_SUITE_P(Pieces, BackToBack, testing::Values(1, 2, 7, 0));

// A server that agreed, fed bytes as a hostile or careless client would send them.
class ServerInput : public testing::Test {
protected:
    void SetUp() override {
        server.receive(Bytes{kIac, kWill, kComPort}, &line);
        server.takeOutgoing();
        server.takeNotices();
    }
    Bytes answer(const Bytes& input, std::size_t piece = 0) {
        feed(server, input, piece, &line);
        return server.takeOutgoing();
    }
    ComPortSession server{ComPortRole::Server};
    Bytes line;
};

TEST_F(ServerInput, AnswersEachCommandWithTheStateHeld) {
    const struct {
        Bytes command;
        Bytes answer;  // empty: none
    } cases[] = {
        // 255s in a value are doubled both ways.
        {{kIac, kSb, kComPort, 1, 0, 0, kIac, kIac, kIac, kIac, kIac, kSe},
         {kIac, kSb, kComPort, 101, 0, 0, kIac, kIac, kIac, kIac, kIac, kSe}},
        {{kIac, kSb, kComPort, 2, 9, kIac, kSe}, {kIac, kSb, kComPort, 102, 8, kIac, kSe}},
        {{kIac, kSb, kComPort, 5, 0, kIac, kSe}, {kIac, kSb, kComPort, 105, 1, kIac, kSe}},
        {{kIac, kSb, kComPort, 5, 3, kIac, kSe}, {kIac, kSb, kComPort, 105, 1, kIac, kSe}},
        {{kIac, kSb, kComPort, 5, 4, kIac, kSe}, {kIac, kSb, kComPort, 105, 6, kIac, kSe}},
        {{kIac, kSb, kComPort, 5, 7, kIac, kSe}, {kIac, kSb, kComPort, 105, 8, kIac, kSe}},
        {{kIac, kSb, kComPort, 5, 13, kIac, kSe}, {kIac, kSb, kComPort, 105, 14, kIac, kSe}},
        {{kIac, kSb, kComPort, 0, kIac, kSe},
         {kIac, kSb, kComPort, 100, 'V', 'e', 'l', 't', 'r', 'a', 'n', 'e', kIac, kSe}},
        {{kIac, kSb, kComPort, 0, 'x', kIac, kSe}, {}},
        {{kIac, kSb, kComPort, 12, 3, kIac, kSe}, {kIac, kSb, kComPort, 112, 3, kIac, kSe}},
    };
    for (const auto& c : cases) EXPECT_EQ(answer(c.command, 1), c.answer);
    EXPECT_EQ(server.heldSettings().speed, 0xFFFF);
    const auto notices = server.takeNotices();
    ASSERT_EQ(kindsOf(notices), (std::vector{Kind::Line, Kind::Purge}));  // 9 data bits refused
    EXPECT_EQ(notices[1].value, com_port::kPurgeBoth);
    EXPECT_TRUE(line.empty());
}

TEST_F(ServerInput, RefusesWhatItCannotTakeOnceAndStaysBounded) {
    // An unknown option is refused once, however often it is asked; what holds is not answered.
    Bytes flood;
    for (int i = 0; i < 100'000; ++i)
        flood.insert(flood.end(), {kIac, kDo, 99, kIac, kDont, 99, kIac, kWill, 98, kIac, kWill,
                                   kComPort, kIac, 241 /* NOP */, kIac, kDo, kBinary});
    EXPECT_EQ(answer(flood, 4096), (Bytes{kIac, kWont, 99, kIac, kDont, 98, kIac, kWill, kBinary}));
    EXPECT_TRUE(server.takeNotices().empty());

    // An endless sub-negotiation: dropped whole, told once, and the session goes on after it.
    Bytes endless{kIac, kSb, kComPort, 1};
    endless.insert(endless.end(), 100'000, 'x');
    endless.insert(endless.end(), {kIac, kIac, kIac, kSe, kIac, kSb, kComPort, 2, 0, kIac, kSe});
    EXPECT_EQ(answer(endless, 1000), (Bytes{kIac, kSb, kComPort, 102, 8, kIac, kSe}));
    EXPECT_EQ(kindsOf(server.takeNotices()), std::vector{Kind::Fault});

    // A command cuts a sub-negotiation short, and still counts.
    EXPECT_EQ(answer({kIac, kSb, kComPort, 2, kIac, kDo, 77}), (Bytes{kIac, kWont, 77}));
    // Wrong sizes and unknown commands are dropped.
    EXPECT_TRUE(answer({kIac, kSb, kComPort, 1,   0,    kIac, kSe,      kIac, kSb,  kComPort,
                        5,    20,  kIac,     kSe, kIac, kSb,  kComPort, 44,   kIac, kSe})
                    .empty());
    EXPECT_EQ(kindsOf(server.takeNotices()), std::vector(4, Kind::Fault));
    EXPECT_TRUE(line.empty());
    // IAC at the end of one piece, its command in the next.
    feed(server, {'a', kIac}, 0, &line);
    feed(server, {kIac, 'b', kIac}, 0, &line);
    feed(server, {241, 'c'}, 0, &line);
    EXPECT_EQ(line, (Bytes{'a', 255, 'b', 'c'}));
}

TEST(ComPortSessionTest, NothingOfTheOptionBeforeItIsAgreed) {
    ComPortSession server(ComPortRole::Server);
    server.tellModemLines(control_line::kCts | control_line::kDcd);
    server.tellLineState(com_port::kLineBreak);
    EXPECT_FALSE(server.hasOutgoing());
    Bytes line;
    const Bytes setDataSize{kIac, kSb, kComPort, 2, 7, kIac, kSe};
    server.receive(setDataSize, &line);
    EXPECT_FALSE(server.hasOutgoing());
    EXPECT_EQ(kindsOf(server.takeNotices()), std::vector{Kind::Fault});
    EXPECT_EQ(server.heldSettings().dataBits, 8);
    // Once offered, a client's use of the option agrees to it (some never answer the offer),
    // and the lines as they stand are told first.
    server.start();
    server.takeOutgoing();
    server.receive(setDataSize, &line);
    EXPECT_TRUE(server.comPortAgreed());
    EXPECT_EQ(server.takeOutgoing(), (Bytes{kIac, kSb, kComPort, 107, 0x90 | 0x09, kIac, kSe, kIac,
                                            kSb, kComPort, 102, 7, kIac, kSe}));
    EXPECT_EQ(kindsOf(server.takeNotices()), (std::vector{Kind::ComPortAnswer, Kind::Line}));

    // A client the server refuses never sends what it asked meanwhile.
    ComPortSession client(ComPortRole::Client);
    client.start();
    client.takeOutgoing();
    client.askControl(com_port::kDtrOff);
    EXPECT_FALSE(client.hasOutgoing());
    client.receive(Bytes{kIac, kDont, kComPort, kIac, kDo, kComPort}, &line);
    EXPECT_EQ(client.takeOutgoing(), (Bytes{kIac, kWill, kComPort}));
    const auto answers = client.takeNotices();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].value, 0u);
    EXPECT_EQ(answers[1].value, 1u);
}

}  // namespace
