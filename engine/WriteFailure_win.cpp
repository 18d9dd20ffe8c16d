#include <windows.h>

#include "engine/WriteFailure.h"

// The C runtime's errno is not to be trusted here: after a short write to a disk that has just
// filled it can hold a stale value. The system's last error names the cause.
void clearWriteFailure() { SetLastError(ERROR_SUCCESS); }

int lastWriteFailure() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? static_cast<int>(error) : diskFullFailure();
}

int diskFullFailure() { return ERROR_DISK_FULL; }

std::string writeFailureText(int failure) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(failure), 0, text, sizeof text,
                                  nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n')) --length;
    if (length == 0) return "system error " + std::to_string(failure);
    return std::string(text, length);
}
