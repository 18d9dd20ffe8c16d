#include "win32/ErrorBox.h"

// The system's texts may hold inserts such as "%1"; without arguments to fill them they are
// kept as they are, since expanding them would read arguments that were never given.
std::string composeErrorMessage(const std::string& text, bool withSystemText, DWORD lastError) {
    if (!withSystemText) return text;
    char systemText[512] = {};
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       lastError, 0, systemText, 511, nullptr);
    if (length == 0) return text;
    return text + "\r\n" + systemText;
}

void showErrorBox(HWND owner, const std::string& text, bool withSystemText) {
    DWORD lastError = GetLastError();  // before anything else can change it
    std::string message = composeErrorMessage(text, withSystemText, lastError);
    MessageBoxA(owner, message.c_str(), "Veltrane Error", MB_ICONERROR | MB_OK);
}
