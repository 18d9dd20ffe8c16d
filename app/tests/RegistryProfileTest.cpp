#include "app/RegistryProfile.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/DeviceSettings.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"
#include "tests/support/TempDir.h"
#include "win32/RegistryKey.h"

namespace {

// Each run uses its own application name under the company key, removed afterwards.
class RegistryProfileTest : public ::testing::Test {
protected:
    RegistryProfileTest()
        : application_("VeltraneTest" + std::to_string(GetCurrentProcessId())),
          profile_("Quorvale", application_) {}
    ~RegistryProfileTest() override { deleteRegistryTree(HKEY_CURRENT_USER, profile_.rootPath()); }

    std::string application_;
    RegistryProfile profile_;
};

}  // namespace

TEST_F(RegistryProfileTest, ValuesLiveUnderTheCompanyAndApplicationKey) {
    EXPECT_EQ(profile_.rootPath(), "Software\\Quorvale\\" + application_);
    ASSERT_TRUE(profile_.writeInt("Device", "Speed", 115200));
    auto key = RegistryKey::openForRead(HKEY_CURRENT_USER,
                                        "Software\\Quorvale\\" + application_ + "\\Device");
    DWORD stored = 0;
    ASSERT_TRUE(key.readDword("Speed", stored));
    EXPECT_EQ(stored, 115200u);
}

TEST_F(RegistryProfileTest, RoundTripsEachKindAndFallsBackWhenMissing) {
    EXPECT_EQ(profile_.readInt("Logging", "LoggingOn", 7), 7);
    EXPECT_EQ(profile_.readString("Logging", "LogFile", "\\serial.log"), "\\serial.log");
    std::vector<std::uint8_t> blob;
    EXPECT_FALSE(profile_.readBinary("Window", "Position", blob));

    ASSERT_TRUE(profile_.writeInt("Logging", "LoggingOn", -1));
    ASSERT_TRUE(profile_.writeString("Logging", "LogFile", "C:\\logs\\a b.log"));
    const std::vector<std::uint8_t> position = {1, 0, 0, 0, 2, 0, 0, 0,
                                                3, 0, 0, 0, 0x80, 0, 0, 0};
    ASSERT_TRUE(profile_.writeBinary("Window", "Position", position));

    EXPECT_EQ(profile_.readInt("Logging", "LoggingOn", 0), -1);
    EXPECT_EQ(profile_.readString("Logging", "LogFile", ""), "C:\\logs\\a b.log");
    ASSERT_TRUE(profile_.readBinary("Window", "Position", blob));
    EXPECT_EQ(blob, position);
}

TEST_F(RegistryProfileTest, AValueOfAnotherTypeReadsAsItsDefault) {
    ASSERT_TRUE(profile_.writeString("Device", "Speed", "fast"));
    EXPECT_EQ(profile_.readInt("Device", "Speed", 9600), 9600);
    ASSERT_TRUE(profile_.writeInt("Device", "Port", 3));
    EXPECT_EQ(profile_.readString("Device", "Port", "COM1"), "COM1");
}

TEST_F(RegistryProfileTest, DeviceAndLogSettingsComeFromTheRegistry) {
    profile_.writeString("Device", "Port", "COM12");
    profile_.writeInt("Device", "Speed", 0);
    EXPECT_EQ(loadDeviceSettings(profile_).port, "COM12");
    EXPECT_EQ(loadDeviceSettings(profile_).speed, 9600);

    TempDir dir;
    auto path = dir.file("serial.log");
    profile_.writeInt("Logging", "LoggingOn", 1);
    profile_.writeString("Logging", "LogFile", path);
    { LogWriter(loadLogSettings(profile_)).writeLine("Starting recording"); }
    auto bytes = readWholeFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "Starting recording\r\n");
}
