#pragma once

#include <string>

// text, then on a new line the C library's words for the error number (errno), as the error
// box shows a system's reason. The number is taken where the failure happened, so files closed
// or removed since then do not change the reason given.
std::string withReason(const std::string& text, int error);

// The same for a failed write or create, whose reason is the system's own (engine/WriteFailure.h):
// on Windows the C library's number can be stale after a write to a full disk.
std::string withWriteReason(const std::string& text, int failure);
