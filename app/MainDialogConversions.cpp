// The main window's conversions: Export to text and Import of raw or hex data.
#include "app/ConversionRun.h"
#include "app/MainDialog.h"
#include "app/dialogs/ConversionProgressDialog.h"
#include "app/dialogs/ExportDialog.h"
#include "app/dialogs/ImportDialog.h"
#include "convert/Import.h"
#include "convert/SamePath.h"
#include "convert/TextExport.h"
#include "engine/SerialFile.h"
#include "log/LogSettings.h"
#include "log/LogWriter.h"

namespace {
// A conversion that ends sooner shows no progress dialog at all.
constexpr std::chrono::milliseconds kQuietConversionTime(500);
}  // namespace

// The conversion runs on a thread of its own. The progress dialog is modal from the start (no
// command can change the file meanwhile) and shows itself only after a moment. What the
// conversion had to report is shown here, once it has ended.
void MainDialog::runConversion(
    const std::string& caption, const std::string& fileName,
    const std::function<void(const ConversionProgress&, ErrorReporter&)>& work) {
    ConversionRun run(work);
    ConversionProgressDialog dialog(handle(), caption, fileName, run, kQuietConversionTime);
    dialog.doModal();
    for (const std::string& text : run.finish()) errors_.showErrorBox(text, false);
}

void MainDialog::onExport() {
    ExportDialog dialog(handle(), ExportOptions{});
    if (dialog.doModal() != IDOK) return;
    const ExportOptions& options = dialog.options();
    // Opening the target for writing would empty the recording before it is read.
    if (namesSameFile(options.fileName, currentFilePath_)) {
        errors_.showErrorBox("Cannot export to " + options.fileName +
                                 ":\r\nit is the serial file being exported. Choose another "
                                 "file name.",
                             false);
        return;
    }
    const std::string serialPath = currentFilePath_;
    runConversion("Exporting", options.fileName,
                  [&](const ConversionProgress& progress, ErrorReporter& errors) {
                      exportToText(serialPath, options, errors, progress);
                  });
}

void MainDialog::onImport() {
    if (!readyToReplaceFile()) return;
    ImportDialog dialog(handle());
    if (dialog.doModal() != IDOK || dialog.importPath.empty()) return;
    importFile(dialog.importPath, dialog.assumedSpeed, dialog.dataFormat);
}

// The conversion goes to a file beside the working file, which may hold the current recording:
// only a whole conversion replaces it. A failure or Cancel leaves the window and its recording
// as they were; importToSerialFile has removed what it had written.
bool MainDialog::importFile(const std::string& path, int speed, ImportFormat format) {
    const LogSettings logSettings = loadLogSettings(profile_);
    const std::string converted = workingFilePath_ + ".import";
    ImportResult result;
    runConversion("Importing", path,
                  [&](const ConversionProgress& progress, ErrorReporter& errors) {
                      LogWriter log(logSettings);
                      result = importToSerialFile(path, converted, speed, format, log, errors,
                                                  progress);
                  });
    if (result.status != ImportStatus::Converted) return false;

    clearWorkingFile();
    if (!MoveFileA(converted.c_str(), workingFilePath_.c_str())) {
        errors_.showErrorBox("Error importing to " + workingFilePath_ + ":", true);
        DeleteFileA(converted.c_str());
        return false;
    }
    currentFilePath_ = workingFilePath_;
    auto duration = scanDuration(currentFilePath_, debugTrace_, errors_);
    if (!duration) {
        showNoFile();
        return false;
    }
    showLoadedFile(*duration);
    return true;
}
