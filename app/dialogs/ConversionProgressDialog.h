#pragma once

#include <chrono>
#include <string>

#include "app/ConversionRun.h"
#include "win32/Controls.h"
#include "win32/Dialog.h"

// "Exporting" / "Importing": the file's name, a bar of the bytes done of the input and Cancel,
// while a conversion runs on its own thread. It reads the run's progress on a timer and closes
// itself at the run's end; Cancel asks the run to stop and closes at once. It stays hidden for
// the first `quietTime`, so that a short conversion shows nothing, while its loop keeps the
// owner answering and its commands closed.
class ConversionProgressDialog : public Dialog {
public:
    ConversionProgressDialog(HWND owner, std::string caption, std::string fileName,
                             ConversionRun& run, std::chrono::milliseconds quietTime);

private:
    bool onInitDialog() override;
    bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void onOK() override {}  // Enter must not end the dialog while the run goes on
    void onCancel() override;
    bool showsWhenFirstIdle() const override { return false; }
    void showProgress();

    std::string caption_;
    std::string fileName_;
    ConversionRun& run_;
    std::chrono::steady_clock::time_point showAt_;
    bool shown_ = false;
    ProgressBar bar_;
    Static bytesText_;
};
