#include "engine/DeviceSettings.h"

#include "engine/Profile.h"

namespace {
constexpr const char* kSection = "Device";
constexpr std::int32_t kDefaultSpeed = 9600;
}  // namespace

DeviceSettings loadDeviceSettings(Profile& profile) {
    DeviceSettings settings;
    settings.port = profile.readString(kSection, "Port", "COM1");
    settings.speed = profile.readInt(kSection, "Speed", kDefaultSpeed);
    if (settings.speed <= 0) settings.speed = kDefaultSpeed;
    settings.parity = profile.readInt(kSection, "Parity", 0);
    settings.stopBits = profile.readInt(kSection, "Stopbits", 0);
    settings.dataBits = profile.readInt(kSection, "Databits", 8);
    return settings;
}

void storeDeviceSettings(Profile& profile, const DeviceSettings& settings) {
    profile.writeString(kSection, "Port", settings.port);
    profile.writeInt(kSection, "Speed", settings.speed);
    profile.writeInt(kSection, "Parity", settings.parity);
    profile.writeInt(kSection, "Databits", settings.dataBits);
    profile.writeInt(kSection, "Stopbits", settings.stopBits);
}
