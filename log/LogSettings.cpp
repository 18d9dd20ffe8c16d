#include "log/LogSettings.h"

#include "engine/Profile.h"

namespace {
constexpr const char* kSection = "Logging";
}

LogSettings loadLogSettings(Profile& profile) {
    LogSettings settings;
    settings.loggingOn = profile.readInt(kSection, "LoggingOn", 0) != 0;
    settings.appendFile = profile.readInt(kSection, "AppendFile", 0) != 0;
    settings.logFile = profile.readString(kSection, "LogFile", settings.logFile);
    settings.showDate = profile.readInt(kSection, "ShowDate", 0) != 0;
    return settings;
}

void storeLogSettings(Profile& profile, const LogSettings& settings) {
    profile.writeInt(kSection, "LoggingOn", settings.loggingOn ? 1 : 0);
    profile.writeInt(kSection, "AppendFile", settings.appendFile ? 1 : 0);
    profile.writeInt(kSection, "ShowDate", settings.showDate ? 1 : 0);
    profile.writeString(kSection, "LogFile", settings.logFile);
}
