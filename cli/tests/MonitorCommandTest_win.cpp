#include <gtest/gtest.h>

#include <filesystem>

#include "cli/tests/MonitorTestSupport.h"

TEST_F(MonitorCliTest, MonitorRefusesAPtyHostSideOnWindows) {
    const std::string file = dir_.file("pty.pcapng");
    EXPECT_EQ(
        runCli({"monitor", "--host-port", "pty:x", "--device-port", pair_.portName(), "-o", file}),
        1);
    EXPECT_NE(errors().find("veltrane-cli monitor: cannot open port pty:x: pty host ports are "
                            "made on Linux; on Windows use one end of a virtual COM pair"),
              std::string::npos)
        << errors();
    EXPECT_FALSE(std::filesystem::exists(file));
}
