#pragma once

#include <windows.h>

#include "engine/ErrorReporter.h"
#include "win32/ErrorBox.h"

// Routes the engine's error reports to the program's error box, owned by the main window.
class ErrorBoxReporter : public ErrorReporter {
public:
    explicit ErrorBoxReporter(HWND owner = nullptr) : owner_(owner) {}
    void setOwner(HWND owner) { owner_ = owner; }
    void showErrorBox(const std::string& text, bool withSystemText) override {
        ::showErrorBox(owner_, text, withSystemText);
    }

private:
    HWND owner_;
};
