#pragma once

#include <windows.h>

#include <string>

// The message of the error box: text, and with withSystemText the system's text for lastError
// on a line of its own (the text alone when the system has none).
std::string composeErrorMessage(const std::string& text, bool withSystemText, DWORD lastError);

// Shows the program's one error box: caption "Veltrane Error", error icon, OK button, modal to
// owner. With withSystemText the calling thread's last error is described, so call it straight
// after the failed operation.
void showErrorBox(HWND owner, const std::string& text, bool withSystemText);
