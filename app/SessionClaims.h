#pragma once

#include <string>
#include <vector>

class Profile;

// Every running session claims its working file in the settings, section "Sessions": a value
// named by the file's path, holding the process's id and start time. A clean exit gives the
// claim up, so a claim whose process has ended marks a recording that a killed session left.
void claimWorkingFile(Profile& profile, const std::string& path);
void releaseWorkingFile(Profile& profile, const std::string& path);

// The working files with data that ended sessions left behind, still claimed. Claims of ended
// sessions whose file is gone or empty are dropped (the empty file deleted); claims of sessions
// that still run are left alone.
std::vector<std::string> leftBehindRecordings(Profile& profile);
