#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/SerialDeviceAliases.h"
#include "tests/support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Two adapters as files, and a by-id directory of links to them as udev makes it: relative
// links, one absolute, one left behind by an adapter that is gone.
class SerialDeviceAliasesTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir_.path() / "by-id");
        ASSERT_TRUE(writeWholeFile(dir_.file("ttyUSB0"), {}));
        ASSERT_TRUE(writeWholeFile(dir_.file("ttyUSB1"), {}));
        fs::create_symlink("../ttyUSB0", byId("usb-FTDI_FT232R_A100-if00-port0"));
        fs::create_symlink(dir_.file("ttyUSB1"), byId("usb-Prolific_2303-if00-port0"));
        fs::create_symlink("../ttyUSB0", byId("usb-FTDI_FT232R_A100-if00"));
        fs::create_symlink("../ttyUSB7", byId("usb-gone-if00-port0"));
    }

    std::string byId(const std::string& name) const { return (dir_.path() / "by-id" / name); }
    std::vector<std::string> aliasesOf(const std::string& name) const {
        return serialDeviceAliases(dir_.file(name), (dir_.path() / "by-id").string());
    }

    TempDir dir_;
};

}  // namespace

TEST_F(SerialDeviceAliasesTest, FindsEveryLinkToTheSameDeviceAndNoOther) {
    EXPECT_EQ(aliasesOf("ttyUSB0"),
              (std::vector<std::string>{byId("usb-FTDI_FT232R_A100-if00"),
                                        byId("usb-FTDI_FT232R_A100-if00-port0")}));
    EXPECT_EQ(aliasesOf("ttyUSB1"), std::vector<std::string>{byId("usb-Prolific_2303-if00-port0")});

    // Device nodes are compared as devices.
    fs::create_symlink("/dev/null", byId("usb-null-if00-port0"));
    EXPECT_EQ(serialDeviceAliases("/dev/null", (dir_.path() / "by-id").string()),
              std::vector<std::string>{byId("usb-null-if00-port0")});

    // Named through a link of its own, the device is still the same one.
    fs::create_symlink(dir_.file("ttyUSB1"), dir_.file("modem"));
    EXPECT_EQ(aliasesOf("modem"), aliasesOf("ttyUSB1"));
}

TEST_F(SerialDeviceAliasesTest, NoneForADeviceOrDirectoryThatIsNotThere) {
    EXPECT_TRUE(aliasesOf("ttyUSB7").empty());  // only a dangling link names it
    ASSERT_TRUE(writeWholeFile(dir_.file("ttyS0"), {}));
    EXPECT_TRUE(aliasesOf("ttyS0").empty());  // a port without such a name
    EXPECT_TRUE(serialDeviceAliases(dir_.file("ttyUSB0"), dir_.file("no-such-dir")).empty());
}
