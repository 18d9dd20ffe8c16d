#pragma once

#include "log/LogSettings.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Logging Options": edits the four logging settings. OK leaves the edited values in settings;
// the caller stores them. The log itself is opened by each run, so a change applies from the
// next run.
class LoggingOptionsDialog : public Dialog {
public:
    LoggingOptionsDialog(HWND owner, const LogSettings& given);

    LogSettings settings;  // in: shown at start; out: the values OK took

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;
    void applyEnableRule();
    void onBrowse();

    Edit fileEdit_;
    Button enabledBox_, appendBox_, showDateBox_;
};
