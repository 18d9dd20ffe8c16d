#pragma once

#include <string>

// text, then on a new line the C library's words for the error number (errno), as the error
// box shows a system's reason. The number is taken where the failure happened, so files closed
// or removed since then do not change the reason given.
std::string withReason(const std::string& text, int error);
