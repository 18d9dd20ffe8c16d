#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "engine/SerialPort.h"
#include "engine/WaitableSerialPort.h"
#include "tests/support/PortReader.h"
#include "tests/support/SerialPair.h"
#include "tests/support/TempDir.h"
#include "workers/ReconnectingPort.h"

namespace fs = std::filesystem;

// An adapter that comes back as another device is found again by its lasting name, which now
// leads there; the name it was opened by is gone for good.
TEST(ReconnectingPortByIdTest, ComesBackByItsLastingNameAsAnotherDevice) {
    SerialPair first;
    SerialPair second;
    std::string why;
    ASSERT_TRUE(first.start(&why)) << why;
    TempDir byId;
    const std::string lasting = byId.file("usb-Veltrane_Test_Adapter_0001-if00-port0");
    fs::create_symlink(fs::canonical(first.portName()), lasting);

    const DeviceSettings settings{first.portName(), 115200, 8, Parity::None, StopBits::One};
    OpenedPort opened;
    ASSERT_FALSE(openDeviceSidePort(settings, &opened).happened());
    ReconnectingPort port(settings, std::move(opened.port), byId.path().string());
    PortReader reader(port);

    // As udev does: the lasting name goes with the adapter and comes back with it.
    first.stop();
    fs::remove(lasting);
    ASSERT_TRUE(reader.waitUntil([&] { return reader.remarks().size() == 1; }));
    ASSERT_TRUE(second.start(&why)) << why;
    fs::create_symlink(fs::canonical(second.portName()), lasting);
    WaitableSerialPort device;
    ASSERT_TRUE(device.open(second.devicePortName(), 115200, 8, Parity::None, StopBits::One));
    std::uint32_t written = 0;
    ASSERT_TRUE(device.write("again", 5, &written));

    ASSERT_TRUE(reader.waitUntil([&] { return reader.bytes().size() == 5; }))
        << ::testing::PrintToString(reader.remarks());
    const std::vector<std::uint8_t> bytes = reader.bytes();
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "again");
    ASSERT_EQ(reader.events().size(), 1u);
    EXPECT_EQ(reader.events()[0].kind, LineEventKind::DataLost);
    ASSERT_EQ(reader.remarks().size(), 2u);
    EXPECT_NE(reader.remarks()[1].find("is back as " + lasting), std::string::npos)
        << reader.remarks()[1];
    EXPECT_FALSE(reader.failed());
}
