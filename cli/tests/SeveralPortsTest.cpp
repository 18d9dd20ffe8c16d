#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "cli/InterfacePorts.h"
#include "cli/tests/CliTestSupport.h"

namespace {

// A rig of two devices recorded on one clock: a meter answering "R?" with "R=1" on port 1, and
// a valve on port 2 that answers "V?" with "V=0" and says "ready" first.
class SeveralPortsTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        ASSERT_TRUE(valve_.start());
        ConversationWriter writer;
        ASSERT_FALSE(
            writer
                .open(file_, {"test", {{"/dev/meter", "115200 8N1"}, {"/dev/valve", "115200 8N1"}}})
                .happened());
        const std::uint64_t t = 1'700'000'000'000'000;
        const auto write = [&](std::uint64_t at, Direction who, std::uint32_t port,
                               const std::string& text) {
            ConversationBurst burst{
                t + at, who, 0, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}};
            burst.interfaceIndex = port;
            ASSERT_FALSE(writer.write(burst).happened());
        };
        write(0, Direction::Device, 1, "ready");
        write(100'000, Direction::Host, 0, "R?");
        write(300'000, Direction::Device, 0, "R=1");
        write(400'000, Direction::Host, 1, "V?");
        write(410'000, Direction::Device, 1, "V=0");
        ASSERT_FALSE(writer.close().happened());
    }

    SecondDevice valve_;
    const std::string file_ = dir_.file("rig.pcapng");
};

TEST_F(SeveralPortsTest, PlayGivesEachPortItsOwnDevicesBursts) {
    startCli({"play", file_, "--port", "1=" + pair_.portName(), "--port",
              "/dev/valve=" + valve_.portName(), "-b", "115200"});
    EXPECT_EQ(valve_.receive(8), "readyV=0");
    EXPECT_EQ(joined(receiveAtDevice(3, milliseconds(10000))), bytesOf("R=1"));
    EXPECT_EQ(exitStatus(), 0) << errors();
}

TEST_F(SeveralPortsTest, RespondAnswersOnEachPortAsItsDeviceDid) {
    startCli({"respond", file_, "--port", "2=" + valve_.portName(), "--port",
              "1=" + pair_.portName(), "-b", "115200", "--report", dir_.file("report.json")});
    EXPECT_EQ(valve_.receive(5), "ready");
    ASSERT_TRUE(valve_.send("V?"));
    EXPECT_EQ(valve_.receive(3), "V=0");
    ASSERT_TRUE(sendFromDevice(bytesOf("R?")));
    EXPECT_EQ(joined(receiveAtDevice(3, milliseconds(10000))), bytesOf("R=1"));
    if (!cli_.interrupt()) GTEST_SKIP() << "no Ctrl+C can be sent to a child here";
    ASSERT_EQ(exitStatus(), 0) << errors();
    EXPECT_NE(output().find("port " + pair_.portName() + ":\nrequests: 1\nrequests answered: 1\n"),
              std::string::npos)
        << output();
    EXPECT_NE(text("report.json").find("{\"ports\": [{\"port\": "), std::string::npos);
}

TEST_F(SeveralPortsTest, AskChecksTheDeviceOfTheInterfaceNamed) {
    EXPECT_EQ(runCli({"ask", file_, "--port", valve_.portName()}), 2);
    EXPECT_NE(errors().find("holds 2 ports"), std::string::npos) << errors();
    startCli({"ask", file_, "--port", "2=" + valve_.portName(), "-b", "115200"});
    EXPECT_EQ(valve_.receive(2), "V?");
    ASSERT_TRUE(valve_.send("V=0"));
    EXPECT_EQ(exitStatus(), 0) << errors() << output();
    EXPECT_NE(output().find("answers matched: 1"), std::string::npos) << output();
}

TEST(InterfacePorts, PairsEachPortWithAnInterfaceByNumberOrRecordedName) {
    const std::vector<ConversationInterface> two{{"pty <-> /dev/meter", ""}, {"COM7", ""}};
    std::string error;
    const auto ports = interfacePortsFrom({"COM7=COM9", "/dev/meter=/dev/ttyS1"}, two, "f", &error);
    ASSERT_TRUE(ports) << error;
    EXPECT_EQ((*ports)[0].interfaceIndex, 1u);
    EXPECT_EQ((*ports)[0].port, "COM9");
    EXPECT_EQ((*ports)[1].interfaceIndex, 0u);
    // One interface: a plain port, even one whose name holds '='.
    const auto plain = interfacePortsFrom({"/dev/x=y"}, {{"a", ""}}, "f", &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ((*plain)[0].port, "/dev/x=y");
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"COM9"},
                                                  {"3=COM9"},
                                                  {"1=COM8", "1=COM9"},
                                                  {"1=COM8", "2=COM8"},
                                                  {"2="}}) {
        EXPECT_FALSE(interfacePortsFrom(wrong, two, "f", &error)) << wrong[0];
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
