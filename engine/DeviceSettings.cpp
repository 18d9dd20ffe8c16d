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

std::string loadDevicePort(Profile& profile) {
    return profile.readString(kSection, "DevicePort", "");
}

void storeDevicePort(Profile& profile, const std::string& devicePort) {
    profile.writeString(kSection, "DevicePort", devicePort);
}

bool loadReconnect(Profile& profile) { return profile.readInt(kSection, "Reconnect", 1) != 0; }

void storeReconnect(Profile& profile, bool reconnect) {
    profile.writeInt(kSection, "Reconnect", reconnect ? 1 : 0);
}

std::string lineSettingsText(const DeviceSettings& settings) {
    // The parity's initial as serial settings are usually written ("8N1", "7E2"); 1.5 stop bits
    // as "1.5".
    const int parityValue = static_cast<int>(settings.parity);
    const char parity = parityValue >= 0 && parityValue < 5 ? "NOEMS"[parityValue] : '?';
    const char* stopBits = settings.stopBits == StopBits::Two           ? "2"
                           : settings.stopBits == StopBits::OneAndAHalf ? "1.5"
                                                                        : "1";
    return std::to_string(settings.speed) + " " + std::to_string(settings.dataBits) + parity +
           stopBits;
}
