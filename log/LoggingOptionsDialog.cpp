#include "LoggingOptionsDialog.h"

#include "FileDialog.h"
#include "Profile.h"
#include "resource.h"

namespace {
constexpr const char* kSection = "Logging";
}

LoggingOptionsDialog::LoggingOptionsDialog(HWND owner, Profile& profile)
    : Dialog(IDD_LOGGING_OPTIONS, owner), profile_(profile) {}

bool LoggingOptionsDialog::onInitDialog() {
    fileEdit_.attach(item(IDC_LOG_FILE_EDIT));
    enabledBox_.attach(item(IDC_LOGGING_ENABLED));
    appendBox_.attach(item(IDC_LOG_APPEND));
    showDateBox_.attach(item(IDC_LOG_SHOW_DATE));

    int loggingOn = profile_.readInt(kSection, "LoggingOn", 0);
    int appendFile = profile_.readInt(kSection, "AppendFile", 0);
    std::string logFile = profile_.readString(kSection, "LogFile", "\\serial.log");
    int showDate = profile_.readInt(kSection, "ShowDate", 0);

    fileEdit_.setText(logFile);
    appendBox_.setCheck(appendFile != 0);
    enabledBox_.setCheck(loggingOn != 0);
    showDateBox_.setCheck(showDate != 0);
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
    profile_.writeInt(kSection, "LoggingOn", enabledBox_.isChecked() ? 1 : 0);
    profile_.writeInt(kSection, "AppendFile", appendBox_.isChecked() ? 1 : 0);
    profile_.writeInt(kSection, "ShowDate", showDateBox_.isChecked() ? 1 : 0);
    profile_.writeString(kSection, "LogFile", fileEdit_.text());
    endDialog(IDOK);
}
