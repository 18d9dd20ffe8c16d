#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Profile;

// Every running copy of the program claims its working file in the settings, section
// "Sessions": a value named by the file's path, holding the process's id and start time. A clean
// exit gives the claim up, so a claim whose process has ended marks a recording that a killed
// copy left.
void claimWorkingFile(Profile& profile, const std::string& path);
void releaseWorkingFile(Profile& profile, const std::string& path);

// The working files with data that ended copies left behind, still claimed. Claims of ended
// copies whose file is gone or empty are dropped (the empty file deleted); claims of copies that
// still run are left alone (the rule: decideRecovery, app/RecoveryPolicy.h).
std::vector<std::string> leftBehindRecordings(Profile& profile);

// Held while this copy offers a left-behind recording: no other copy offers the same
// file meanwhile (two copies are often started together, one a port). A named mutex per file,
// so a copy killed while it asks lets go of it too. False when not taken.
class RecordingOffer {
public:
    RecordingOffer() = default;
    ~RecordingOffer();
    RecordingOffer(RecordingOffer&& other) noexcept;
    RecordingOffer& operator=(RecordingOffer&& other) noexcept;
    RecordingOffer(const RecordingOffer&) = delete;
    RecordingOffer& operator=(const RecordingOffer&) = delete;

    explicit operator bool() const { return owned_; }

private:
    friend RecordingOffer takeOverLeftBehindRecording(Profile& profile, const std::string& path);
    explicit RecordingOffer(HANDLE mutex) : mutex_(mutex) {}
    void release();

    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

// Takes a recording that leftBehindRecordings listed over for offering it. Not taken while
// another copy offers it, nor when meanwhile another copy took it as its own or it was
// deleted: its claim is then gone or names a running copy.
RecordingOffer takeOverLeftBehindRecording(Profile& profile, const std::string& path);
