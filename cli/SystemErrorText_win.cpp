#include <windows.h>

#include "cli/SystemErrorText.h"

// Inserts such as "%1" stay as they are: there are no arguments to fill them.
std::string lastSystemErrorText() {
    const DWORD error = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text - 1, nullptr);
    return std::string(text, length);
}
