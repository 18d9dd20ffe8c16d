#pragma once

#include <string>

class Profile;

// Where and how a run logs: section "Logging" of the profile. Read by the front end when a run
// starts and handed to the run, so a change applies from the next run.
struct LogSettings {
    bool loggingOn = false;
    bool appendFile = false;
    std::string logFile = "\\serial.log";
    bool showDate = false;
};

// Reads LoggingOn, AppendFile, LogFile and ShowDate; a missing value keeps its default.
LogSettings loadLogSettings(Profile& profile);

// Writes LoggingOn, AppendFile, ShowDate and LogFile, in that order.
void storeLogSettings(Profile& profile, const LogSettings& settings);
