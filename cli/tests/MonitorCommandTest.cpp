#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/CliTestSupport.h"
#include "conversation/ConversationReader.h"

TEST_F(CliTest, MonitorTakesOnlyAPcapngOutputAndBothPorts) {
    const std::string serialFile = dir_.file("out.ser");
    EXPECT_EQ(runCli({"monitor", "--host-port", "A", "--device-port", "B", "-o", serialFile}), 2);
    EXPECT_NE(errors().find("must end in .pcapng"), std::string::npos) << errors();
    EXPECT_FALSE(std::filesystem::exists(serialFile));
    EXPECT_EQ(runCli({"monitor", "--host-port", "A", "-o", dir_.file("out.pcapng")}), 2);
    EXPECT_NE(errors().find("--device-port is needed"), std::string::npos) << errors();
}

// The pair's two ends as host and device side: with nothing said on either, --duration ends the
// run well, leaving a conversation file with its headers and no burst.
TEST_F(CliTest, MonitorForADurationLeavesAWholeFile) {
    device_.close();
    const std::string file = dir_.file("quiet.pcapng");
    ASSERT_EQ(runCli({"monitor", "--host-port", pair_.portName(), "--device-port",
                      pair_.devicePortName(), "-b", "115200", "-o", file, "--duration", "1"}),
              0)
        << errors();
    ConversationReader reader;
    ASSERT_FALSE(reader.open(file).happened());
    ConversationBurst burst;
    EXPECT_FALSE(reader.next(burst));
    EXPECT_FALSE(reader.failure().happened());
    EXPECT_NE(errors().find("host 0 bursts, 0 bytes; device 0 bursts, 0 bytes in " + file),
              std::string::npos)
        << errors();
}
