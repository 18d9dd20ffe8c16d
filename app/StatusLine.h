#pragma once

#include <windows.h>

#include <string>

// The status line: a static control that shows a permanent text (the transport state word) or,
// for two to three seconds, a prompt (the help of the highlighted menu item).
class StatusLine {
public:
    StatusLine() = default;
    ~StatusLine();
    StatusLine(const StatusLine&) = delete;
    StatusLine& operator=(const StatusLine&) = delete;

    // Takes over the control: its current text becomes the permanent text, and its one-second
    // timer starts.
    void attach(HWND control);

    bool setText(const std::string& text);
    // An empty prompt brings back the permanent text.
    bool showPrompt(const std::string& text);

    const std::string& permanentText() const { return permanentText_; }

private:
    static LRESULT CALLBACK subclassProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR id, DWORD_PTR data);
    void onTimer();

    HWND control_ = nullptr;
    std::string permanentText_;
    int promptTicks_ = 0;
};
