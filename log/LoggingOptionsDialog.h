#pragma once

#include "Controls.h"
#include "Dialog.h"

class Profile;

// "Logging Options": edits the four values of section "Logging"; OK writes them, Cancel writes
// nothing. The log itself is opened by each run, so a change applies from the next run.
class LoggingOptionsDialog : public Dialog {
public:
    LoggingOptionsDialog(HWND owner, Profile& profile);

private:
    bool onInitDialog() override;
    bool onCommand(int id, int notifyCode, HWND control) override;
    void onOK() override;
    void applyEnableRule();
    void onBrowse();

    Profile& profile_;
    Edit fileEdit_;
    Button enabledBox_, appendBox_, showDateBox_;
};
