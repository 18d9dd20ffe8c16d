// The recording in the working file: this copy's claim on it, the offer at start-up of a
// recording that a copy which did not end cleanly left behind, and the question before a
// command drops a recording that was never saved.
#include <windows.h>

#include <cstdio>
#include <optional>

#include "app/MainDialog.h"
#include "app/WorkingFileClaims.h"
#include "conversation/ConversationReader.h"

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

bool holdsData(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
}

constexpr const char* kSaveQuestion =
    "The recording has not been saved.\r\nDo you want to save it first?";

}  // namespace

// Asked before this copy claims its own file, for each file no other copy is offering.
// Yes makes the recording this copy's working file, unsaved as after Record (so not a
// recent file, and still claimed until saved elsewhere and closed); the others wait for the
// next start. Only No deletes it: a question closed without an answer (tray Exit, a close from
// outside, the end of the Windows session) has ended the program, and the file and its claim
// stay for the next start. False when the window is gone.
bool MainDialog::offerLeftBehindRecordings() {
    for (const std::string& path : leftBehindRecordings(profile_)) {
        const RecordingOffer offer = takeOverLeftBehindRecording(profile_, path);
        if (!offer) continue;
        const std::string question =
            "A recording from " + lastWriteText(path) + " was not saved. Open it?";
        const int answer = MessageBoxA(handle(), question.c_str(), "Veltrane", MB_YESNO);
        if (handle() == nullptr) return false;
        if (answer == IDYES) {
            DeleteFileA(workingFilePath_.c_str());
            workingFilePath_ = path;
            currentFilePath_ = path;
            unsavedRecording_ = true;
            // A monitoring run leaves a conversation: its contents tell, its name does not.
            workingFileIsConversation_ =
                ConversationReader().open(path).kind == Failure::Kind::None;
            claimWorkingFile(profile_, path);  // while the offer holds: now this copy's
            setTransportButtons(TransportMode::Stopped);
            showRecordingLength(path);
            break;
        }
        if (answer == IDNO) {
            DeleteFileA(path.c_str());
            releaseWorkingFile(profile_, path);
        }
    }
    claimWorkingFile(profile_, workingFilePath_);
    return true;
}

// Asked before a command drops the working file's recording: Yes saves it first (cancelling the
// Save as cancels the command), No lets the command drop it, Cancel keeps everything. A running
// recording is stopped only once a name was chosen, just before the copy, so a cancelled Save
// as leaves it running. True when the command may go on; asks nothing when no recording was
// made or it was saved, or when the recording holds no data.
bool MainDialog::askToSaveRecording() {
    if (!holdsUnsavedRecording()) return true;
    const int answer =
        MessageBoxA(handle(), kSaveQuestion, "Veltrane", MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDNO) return true;
    if (answer != IDYES) return false;
    const std::optional<std::string> target = chooseSaveTarget();
    if (!target) return false;
    if (runner_.isRunning()) runner_.stopAndWait();  // so that the copy holds every chunk
    return saveTo(*target);
}

bool MainDialog::holdsUnsavedRecording() const {
    return unsavedRecording_ && holdsData(workingFilePath_);
}

// New, Open, Open Recent and Import: never while a worker runs, and never after a question
// during which a worker started (a command posted meanwhile).
bool MainDialog::readyToReplaceFile() {
    if (refuseStartWhileRunning()) return false;
    if (!askToSaveRecording()) return false;
    return !refuseStartWhileRunning();
}

// Windows asks each program before the Windows session ends: an unsaved recording is asked about as
// at Exit, and Cancel (or a cancelled Save as) keeps the session.
bool MainDialog::onQueryEndSession() { return askToSaveRecording(); }

// The session ends now: the program ends as at a clean close, without asking again.
void MainDialog::onEndSession(bool ending) {
    if (!ending) return;
    unsavedRecording_ = false;
    onClose();
}
