// The main window's settings dialogs and conversions: serial device, logging, export, import.
#include "DeviceSettingsDialog.h"
#include "ExportDialog.h"
#include "Import.h"
#include "ImportDialog.h"
#include "LogWriter.h"
#include "LoggingOptionsDialog.h"
#include "MainDialog.h"
#include "SamePath.h"
#include "SerialFile.h"
#include "TextExport.h"

void MainDialog::onSerialDevice() {
    DeviceSettingsDialog dialog(handle(), state_.deviceSettings);
    if (dialog.doModal() != IDOK) return;
    state_.deviceSettings = dialog.settings();
    storeDeviceSettings(profile_, state_.deviceSettings);
}

void MainDialog::onLogging() { LoggingOptionsDialog(handle(), profile_).doModal(); }

void MainDialog::onExport() {
    ExportDialog dialog(handle(), ExportOptions{});
    if (dialog.doModal() != IDOK) return;
    const ExportOptions& options = dialog.options();
    // Opening the target for writing would empty the recording before it is read.
    if (namesSameFile(options.fileName, state_.currentFilePath)) {
        errors_.showErrorBox("Cannot export to " + options.fileName +
                                 ":\r\nit is the serial file being exported. Choose another "
                                 "file name.",
                             false);
        return;
    }
    exportToText(state_.currentFilePath, options, errors_);
}

void MainDialog::onImport() {
    ImportDialog dialog(handle());
    if (dialog.doModal() != IDOK || dialog.importPath.empty()) return;
    importFile(dialog.importPath, dialog.assumedSpeed, dialog.dataFormat);
}

bool MainDialog::importFile(const std::string& path, int speed, int format) {
    onNew();
    LogWriter log(profile_);
    state_.currentFilePath = workingFilePath_;
    ImportResult result = importToSerialFile(
        path, state_.currentFilePath, speed,
        format == 1 ? ImportFormat::AsciiHex : ImportFormat::RawData, log);
    if (result.status != ImportStatus::Converted) return false;

    auto duration = scanDuration(state_.currentFilePath, debugTrace_, errors_);
    if (!duration) return false;
    showLoadedFile(*duration);
    return true;
}
