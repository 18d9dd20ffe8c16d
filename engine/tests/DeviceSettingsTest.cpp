#include <gtest/gtest.h>

#include "engine/DeviceSettings.h"
#include "tests/support/DeviceSettingsOf.h"
#include "tests/support/MemoryProfile.h"

TEST(DeviceSettings, EmptyProfileGivesTheDefaults) {
    MemoryProfile profile;
    DeviceSettings settings = loadDeviceSettings(profile);
    EXPECT_EQ(settings.port, "COM1");
    EXPECT_EQ(settings.speed, 9600);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_EQ(settings.parity, Parity{0});
    EXPECT_EQ(settings.stopBits, StopBits{0});
}

TEST(DeviceSettings, SpeedOfZeroOrLessBecomes9600) {
    for (int stored : {0, -1, -115200}) {
        MemoryProfile profile;
        profile.writeInt("Device", "Speed", stored);
        EXPECT_EQ(loadDeviceSettings(profile).speed, 9600) << stored;
    }
    MemoryProfile profile;
    profile.writeInt("Device", "Speed", 1);
    EXPECT_EQ(loadDeviceSettings(profile).speed, 1);
}

TEST(DeviceSettings, OtherStoredValuesAreTakenWithoutRangeChecks) {
    MemoryProfile profile;
    profile.writeString("Device", "Port", "COM21");
    profile.writeInt("Device", "Parity", 7);
    profile.writeInt("Device", "Stopbits", 5);
    profile.writeInt("Device", "Databits", 9);
    DeviceSettings settings = loadDeviceSettings(profile);
    EXPECT_EQ(settings.port, "COM21");
    EXPECT_EQ(settings.parity, Parity{7});
    EXPECT_EQ(settings.stopBits, StopBits{5});
    EXPECT_EQ(settings.dataBits, 9);
}

TEST(DeviceSettings, StoreWritesInItsOrderAndRoundTrips) {
    MemoryProfile profile;
    DeviceSettings settings = settingsOf("COM12", 115200, 7, 2, 2);
    storeDeviceSettings(profile, settings);
    EXPECT_EQ(profile.writeOrder,
              (std::vector<std::string>{"Device/Port", "Device/Speed", "Device/Parity",
                                        "Device/Databits", "Device/Stopbits"}));
    DeviceSettings loaded = loadDeviceSettings(profile);
    EXPECT_EQ(loaded.port, "COM12");
    EXPECT_EQ(loaded.speed, 115200);
    EXPECT_EQ(loaded.dataBits, 7);
    EXPECT_EQ(loaded.parity, Parity{2});
    EXPECT_EQ(loaded.stopBits, StopBits{2});
}

TEST(DeviceSettings, ReconnectIsAValueOfItsOwnAndOnByDefault) {
    MemoryProfile profile;
    storeDeviceSettings(profile, settingsOf("COM5", 9600, 8, 0, 0));
    EXPECT_TRUE(loadReconnect(profile));
    storeReconnect(profile, false);
    EXPECT_EQ(profile.writeOrder.back(), "Device/Reconnect");
    EXPECT_FALSE(loadReconnect(profile));
    EXPECT_EQ(loadDeviceSettings(profile).port, "COM5");
    storeReconnect(profile, true);
    EXPECT_TRUE(loadReconnect(profile));
}

TEST(DeviceSettings, DevicePortIsAValueOfItsOwnAndNoneByDefault) {
    MemoryProfile profile;
    storeDeviceSettings(profile, settingsOf("COM5", 9600, 8, 0, 0));
    EXPECT_EQ(loadDevicePort(profile), "");
    storeDevicePort(profile, "COM7");
    EXPECT_EQ(profile.writeOrder.back(), "Device/DevicePort");
    EXPECT_EQ(loadDevicePort(profile), "COM7");
    EXPECT_EQ(loadDeviceSettings(profile).port, "COM5");
}
