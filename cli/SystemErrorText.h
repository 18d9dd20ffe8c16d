#pragma once

#include <string>

// The system's words for the calling thread's last error, as the window's error box appends
// them: errno's on POSIX, GetLastError's on Windows. Empty when the system has none. Platform
// file.
std::string lastSystemErrorText();
