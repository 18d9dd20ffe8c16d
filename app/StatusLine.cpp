#include "app/StatusLine.h"

#include <commctrl.h>

namespace {
constexpr UINT_PTR kSubclassId = 1;
constexpr UINT_PTR kPromptTimer = 102;
constexpr UINT kPromptTimerPeriodMs = 1000;
constexpr int kPromptTicks = 3;
}  // namespace

StatusLine::~StatusLine() {
    if (control_ != nullptr && IsWindow(control_)) {
        KillTimer(control_, kPromptTimer);
        RemoveWindowSubclass(control_, subclassProcedure, kSubclassId);
    }
}

void StatusLine::attach(HWND control) {
    control_ = control;
    char text[256] = {};
    GetWindowTextA(control, text, sizeof text);
    permanentText_ = text;
    SetWindowSubclass(control, subclassProcedure, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    SetTimer(control, kPromptTimer, kPromptTimerPeriodMs, nullptr);
}

bool StatusLine::setText(const std::string& text) {
    permanentText_ = text;
    SetWindowTextA(control_, text.c_str());
    return true;
}

bool StatusLine::showPrompt(const std::string& text) {
    SetWindowTextA(control_, text.empty() ? permanentText_.c_str() : text.c_str());
    promptTicks_ = kPromptTicks;
    return true;
}

void StatusLine::onTimer() {
    if (promptTicks_ > 0 && --promptTicks_ == 0) SetWindowTextA(control_, permanentText_.c_str());
}

LRESULT CALLBACK StatusLine::subclassProcedure(HWND window, UINT message, WPARAM wParam,
                                               LPARAM lParam, UINT_PTR, DWORD_PTR data) {
    if (message == WM_TIMER && wParam == kPromptTimer) {
        reinterpret_cast<StatusLine*>(data)->onTimer();
    }
    return DefSubclassProc(window, message, wParam, lParam);
}
