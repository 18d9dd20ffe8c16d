#pragma once

#include <windows.h>

#include <string>

#include "win32/ErrorBox.h"

// The program's error box, owned by the main window. The texts come worded (app/FailureTexts.h),
// with the system's reason already in them.
class ErrorBoxReporter {
public:
    explicit ErrorBoxReporter(HWND owner = nullptr) : owner_(owner) {}
    void setOwner(HWND owner) { owner_ = owner; }
    void show(const std::string& text) const { showErrorBox(owner_, text); }

private:
    HWND owner_;
};
