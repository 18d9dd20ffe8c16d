// The ports list from a made-up kernel device tree: which ttys count, in which order, and the
// by-id links, all without a device being opened.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/SysfsSerialPorts.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;

class SysfsSerialPorts : public ::testing::Test {
protected:
    SysfsSerialPorts() {
        folders_.sys = dir_.path() / "sys";
        folders_.dev = dir_.path() / "dev";
        fs::create_directories(folders_.dev / "serial" / "by-id");
        fs::create_directories(dir_.path() / "sys" / "devices" / "usb1");
    }
    // A tty as the kernel shows it: its class entry, with a device behind it or not, the serial
    // core's UART type when given, and its node in /dev when it has one.
    void addTty(const std::string& name, bool withDevice, const char* uartType = nullptr,
                bool withNode = true) {
        const fs::path entry = folders_.sys / "class" / "tty" / name;
        fs::create_directories(entry);
        if (withDevice) fs::create_directory_symlink("../../../devices/usb1", entry / "device");
        if (uartType != nullptr) std::ofstream(entry / "type") << uartType << "\n";
        if (withNode) std::ofstream(folders_.dev / name).put('\0');
    }
    std::string dev(const std::string& name) const { return (folders_.dev / name).string(); }

    TempDir dir_;
    SystemFolders folders_;
};

}  // namespace

TEST_F(SysfsSerialPorts, ListsLinksThenDevicesWithHardwareBehindThemInNumberOrder) {
    addTty("ttyUSB10", true);
    addTty("ttyUSB2", true);
    addTty("ttyUSB3", true, nullptr, false);  // gone from /dev: nothing to open
    addTty("ttyACM0", true);
    addTty("ttyS0", true, "4");  // a 16550A found
    addTty("ttyS1", true, "0");  // a slot without a UART
    addTty("ttyS2", true);       // no serial core type at all
    addTty("tty0", false);
    addTty("ttyUSBfoo", true);
    fs::create_symlink("../../ttyUSB2", folders_.dev / "serial" / "by-id" / "usb-Maker_Board-if00");

    const std::vector<std::string> expected = {
        dev("serial/by-id/usb-Maker_Board-if00") + " -> " + fs::canonical(dev("ttyUSB2")).string(),
        dev("ttyUSB2"),
        dev("ttyUSB10"),
        dev("ttyACM0"),
        dev("ttyS0"),
    };
    EXPECT_EQ(serialPortsDescribedIn(folders_), expected);
}

TEST_F(SysfsSerialPorts, AMachineWithoutTheFoldersHasNoPorts) {
    EXPECT_TRUE(serialPortsDescribedIn({dir_.path() / "none", dir_.path() / "none"}).empty());
    addTty("ttyUSB0", false);  // a class entry without its device is not a port
    EXPECT_TRUE(serialPortsDescribedIn(folders_).empty());
}
