#include "engine/DeviceSettings.h"

#include "engine/Profile.h"

namespace {
constexpr const char* kSection = "Device";
}  // namespace

DeviceSettings loadDeviceSettings(Profile& profile) {
    DeviceSettings settings;
    settings.port = profile.readString(kSection, "Port", kDefaultPort);
    settings.speed = profile.readInt(kSection, "Speed", kDefaultSpeed);
    if (settings.speed <= 0) settings.speed = kDefaultSpeed;
    settings.parity =
        static_cast<Parity>(profile.readInt(kSection, "Parity", static_cast<int>(kDefaultParity)));
    settings.stopBits = static_cast<StopBits>(
        profile.readInt(kSection, "Stopbits", static_cast<int>(kDefaultStopBits)));
    settings.dataBits = profile.readInt(kSection, "Databits", kDefaultDataBits);
    return settings;
}

void storeDeviceSettings(Profile& profile, const DeviceSettings& settings) {
    profile.writeString(kSection, "Port", settings.port);
    profile.writeInt(kSection, "Speed", settings.speed);
    profile.writeInt(kSection, "Parity", static_cast<int>(settings.parity));
    profile.writeInt(kSection, "Databits", settings.dataBits);
    profile.writeInt(kSection, "Stopbits", static_cast<int>(settings.stopBits));
}
