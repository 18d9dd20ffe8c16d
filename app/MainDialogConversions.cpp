// The main window's conversions: Export to text and Import of raw or hex data.
#include "app/ConversionRun.h"
#include "app/FailureTexts.h"
#include "app/MainDialog.h"
#include "app/dialogs/ConversionProgressDialog.h"
#include "app/dialogs/ExportDialog.h"
#include "app/dialogs/ImportDialog.h"
#include "convert/ConversationExport.h"
#include "convert/Import.h"
#include "convert/SamePath.h"
#include "convert/TextExport.h"
#include "engine/SerialFile.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

namespace {
// A conversion that ends sooner shows no progress dialog at all.
constexpr std::chrono::milliseconds kQuietConversionTime(500);
constexpr const char* kCancelTooLate =
    "Cancel came too late: the conversion had already ended, and its result has been kept.";
}  // namespace

// The conversion runs on a thread of its own. The progress dialog is modal from the start (no
// command can change the file meanwhile) and shows itself only after a moment. What failed is
// told by the caller, once it has ended. The window may go meanwhile (the
// tray's Exit, the end of the session): it then stops the run before it lets go of its working
// file, and false here says that nothing of the window is left to touch.
bool MainDialog::runConversion(const std::string& caption, const std::string& fileName,
                               const ConversionRun::Work& work) {
    ConversionRun run(work);
    conversion_ = &run;
    ConversionProgressDialog dialog(handle(), caption, fileName, run, kQuietConversionTime);
    dialog.doModal();
    run.finish();
    conversion_ = nullptr;
    if (handle() == nullptr) return false;
    // The output is in place: the user hears why the Cancel did not undo it.
    if (run.cancelCameTooLate()) {
        MessageBoxA(handle(), kCancelTooLate, "Veltrane", MB_OK | MB_ICONINFORMATION);
    }
    return true;
}

void MainDialog::stopConversion() {
    if (conversion_ != nullptr) conversion_->stop();
}

void MainDialog::onExport() {
    ExportDialog dialog(handle(), ExportOptions{});
    if (dialog.doModal() != IDOK) return;
    const ExportOptions& options = dialog.options();
    // The export would take the place of the recording it is made of.
    if (namesSameFile(options.fileName, currentFilePath_)) {
        errors_.show("Cannot export to " + options.fileName +
                     ":\r\nit is the serial file being exported. Choose another file name.");
        return;
    }
    const std::string serialPath = currentFilePath_;
    const bool conversation = currentIsConversation();  // written as the command line does
    ExportResult result;
    const bool windowStays =
        runConversion("Exporting", options.fileName, [&](const ConversionProgress& progress) {
            result = conversation ? exportConversationToText(serialPath, options, progress)
                                  : exportToText(serialPath, options, progress);
            return result.status == ExportStatus::Exported;
        });
    if (windowStays && result.status == ExportStatus::Failed)
        errors_.show(exportFailureText(result.failure));
}

void MainDialog::onImport() {
    if (!readyToReplaceFile()) return;
    ImportDialog dialog(handle());
    if (dialog.doModal() != IDOK || dialog.importPath.empty()) return;
    importFile(dialog.importPath, dialog.assumedSpeed, dialog.dataFormat);
}

// The conversion replaces the working file, which may hold the current recording, in one move
// once it is whole: a failure or Cancel leaves the window and its recording as they were.
bool MainDialog::importFile(const std::string& path, int speed, ImportFormat format) {
    const LogSettings logSettings = loadLogSettings(profile_);
    ImportResult result;
    const bool windowStays =
        runConversion("Importing", path, [&](const ConversionProgress& progress) {
            LogWriter log(logSettings);
            result = importToSerialFile(path, workingFilePath_, speed, format, log, progress);
            return result.status == ImportStatus::Converted;
        });
    if (!windowStays) return false;
    if (result.status == ImportStatus::Failed) errors_.show(importFailureText(result.failure));
    if (result.status != ImportStatus::Converted) return false;

    unsavedRecording_ = false;
    workingFileIsConversation_ = false;
    currentFilePath_ = workingFilePath_;
    showPortChoices({});
    auto duration = loadDuration(currentFilePath_);
    if (!duration) {
        showNoFile();
        return false;
    }
    showLoadedFile(*duration);
    return true;
}
