#include <windows.h>

#include "engine/SystemError.h"

SystemError lastSystemError() {
    return {SystemError::Numbering::System, static_cast<int>(GetLastError())};
}

// Empty when the system has no words for the number. Inserts such as "%1" stay as they are: there
// are no arguments to fill them.
std::string systemNumberingText(int number) {
    char text[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(number), 0, text, sizeof text - 1, nullptr);
    return std::string(text, length);
}
