// The session's claim on its working file, and the offer at start-up of a recording that a
// session which did not end cleanly left behind.
#include <windows.h>

#include <cstdio>

#include "app/MainDialog.h"
#include "app/SessionClaims.h"

namespace {

// When the recording was last written to, in local time: "2026-12-07 13:40".
std::string lastWriteText(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    FILETIME local{};
    SYSTEMTIME time{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToSystemTime(&local, &time)) {
        return "an unknown time";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute);
    return text;
}

}  // namespace

// Asked before this session claims its own file. Yes makes the recording this session's working
// file, unsaved as after Record (so not a recent file, and still claimed until saved elsewhere
// and closed); the others wait for the next start. No deletes it.
void MainDialog::offerLeftBehindRecordings() {
    for (const std::string& path : leftBehindRecordings(profile_)) {
        const std::string question =
            "A recording from " + lastWriteText(path) + " was not saved. Open it?";
        if (MessageBoxA(handle(), question.c_str(), "Veltrane", MB_YESNO) == IDYES) {
            DeleteFileA(workingFilePath_.c_str());
            workingFilePath_ = path;
            currentFilePath_ = path;
            setTransportButtons(TransportMode::Stopped);
            showRecordingLength(path);
            break;
        }
        DeleteFileA(path.c_str());
        releaseWorkingFile(profile_, path);
    }
    claimWorkingFile(profile_, workingFilePath_);
}
