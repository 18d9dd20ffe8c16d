#include "app/dialogs/LoggingOptionsDialog.h"

#include "res/resource.h"
#include "win32/FileDialog.h"

LoggingOptionsDialog::LoggingOptionsDialog(HWND owner, const LogSettings& given)
    : Dialog(IDD_LOGGING_OPTIONS, owner), settings(given) {}

bool LoggingOptionsDialog::onInitDialog() {
    fileEdit_.attach(item(IDC_LOG_FILE_EDIT));
    enabledBox_.attach(item(IDC_LOGGING_ENABLED));
    appendBox_.attach(item(IDC_LOG_APPEND));
    showDateBox_.attach(item(IDC_LOG_SHOW_DATE));

    fileEdit_.setText(settings.logFile);
    appendBox_.setCheck(settings.appendFile);
    enabledBox_.setCheck(settings.loggingOn);
    showDateBox_.setCheck(settings.showDate);
    applyEnableRule();
    return true;
}

// Disabled controls keep their values: OK stores them all the same.
void LoggingOptionsDialog::applyEnableRule() {
    bool enabled = enabledBox_.isChecked();
    fileEdit_.enable(enabled);
    appendBox_.enable(enabled);
    showDateBox_.enable(enabled);
}

bool LoggingOptionsDialog::onCommand(int id, int notifyCode, HWND control) {
    if (id == IDC_LOGGING_ENABLED && notifyCode == BN_CLICKED) {
        applyEnableRule();
        return true;
    }
    if (id == IDC_BROWSE) {
        onBrowse();
        return true;
    }
    return Dialog::onCommand(id, notifyCode, control);
}

void LoggingOptionsDialog::onBrowse() {
    auto chosen = chooseFileToSave(
        handle(), "Log files (*.log)|*.log|Text files (*.txt)|*.txt|All Files (*.*)|*.*||",
        "log", OFN_HIDEREADONLY);
    if (chosen) fileEdit_.setText(*chosen);
}

void LoggingOptionsDialog::onOK() {
    settings.loggingOn = enabledBox_.isChecked();
    settings.appendFile = appendBox_.isChecked();
    settings.showDate = showDateBox_.isChecked();
    settings.logFile = fileEdit_.text();
    endDialog(IDOK);
}
