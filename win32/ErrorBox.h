#pragma once

#include <windows.h>

#include <string>

// Shows the program's one error box: caption "Veltrane Error", error icon, OK button, modal to
// owner. The text comes whole, the system's reason in it where there is one.
void showErrorBox(HWND owner, const std::string& text);
